// Reading a client's words about its forwards, line by line, and following its log.
#include "tunnel/forward_events.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "process/command_line.h"
#include "store/file_system.h"
#include "tunnel/file_growth_watch.h"

namespace quorvane {

namespace {

constexpr std::string_view kOpening = "Opening connection to ";
constexpr std::string_view kRefusedByRemote = "Forwarded connection refused by remote: ";
constexpr std::string_view kProhibited = "Administratively prohibited";
constexpr std::string_view kOpenFailed = "[open failed]";
constexpr std::string_view kRemoteForward = "Remote port forwarding from ";
constexpr std::string_view kLocalPort = "Local port ";

std::string_view trimmedLine(std::string_view text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == ' '))
        text.remove_suffix(1);
    return text;
}

// "Local port 127.0.0.1:8080 forwarding to ..." or "Local port 8080 ..." gives "8080".
std::string_view localPortOf(std::string_view line) {
    line.remove_prefix(kLocalPort.size());
    line = line.substr(0, line.find(' '));
    const auto colon = line.rfind(':');
    return colon == std::string_view::npos ? line : line.substr(colon + 1);
}

void merge(ForwardEvents& into, ForwardEvents&& from) {
    if (from.forwardingRefused)
        into.forwardingRefused = std::move(from.forwardingRefused);
    if (from.localPortInUse)
        into.localPortInUse = std::move(from.localPortInUse);
    if (from.probePort)
        into.probePort = from.probePort;
    // The later of a refusal and a success is what the service is now.
    if (from.serviceRefused) {
        into.serviceRefused = std::move(from.serviceRefused);
        into.serviceReached.reset();
    }
    if (from.serviceReached) {
        into.serviceReached = std::move(from.serviceReached);
        if (into.serviceRefused == into.serviceReached)
            into.serviceRefused.reset();
    }
}

} // namespace

ForwardEvents ForwardEventReader::line(std::string_view text) {
    ForwardEvents events;
    const std::string probe(kProbeTarget);
    const auto oldest = [&](bool ofCheck) {
        return std::find_if(m_pending.begin(), m_pending.end(),
                            [&](const Pending& pending) { return (pending.target == probe) == ofCheck; });
    };
    if (text.starts_with(kOpening)) {
        text.remove_prefix(kOpening.size());
        std::string target(text.substr(0, text.find(' ')));
        // The user's connections opened before this one of the user's were not refused: they went through.
        if (target != probe) {
            for (auto it = oldest(false); it != m_pending.end(); it = oldest(false)) {
                events.serviceReached = it->target;
                m_pending.erase(it);
            }
        }
        m_pending.push_back({std::move(target)});
        if (m_pending.size() > 64)
            m_pending.pop_front();
    } else if (text.starts_with(kRefusedByRemote)) {
        if (text.find(kProhibited) != std::string_view::npos)
            events.forwardingRefused = std::string(text);
        // The check's own refusal reads "open failed" (its address cannot be reached); a user's service that is
        // down refuses in its own words. Either way the oldest connection of that kind is the one answered.
        const bool checkWords = text.find(kOpenFailed) != std::string_view::npos;
        auto answered = oldest(checkWords);
        if (answered == m_pending.end())
            answered = oldest(!checkWords);
        if (answered != m_pending.end()) {
            if (answered->target != probe && !events.forwardingRefused)
                events.serviceRefused = answered->target;
            m_pending.erase(answered);
        }
    } else if (text.starts_with(kRemoteForward) && text.ends_with(" refused")) {
        events.forwardingRefused = std::string(text);
    } else if (text.starts_with(kLocalPort)) {
        const std::string_view port = localPortOf(text);
        if (text.find(" failed: ") != std::string_view::npos)
            events.localPortInUse = std::string(port);
        else if (text.find(probe) != std::string_view::npos && text.find(" forwarding to ") != std::string_view::npos)
            events.probePort = std::atoi(std::string(port).c_str());
    }
    return events;
}

ForwardEvents ForwardEventReader::feed(std::string_view text) {
    ForwardEvents events;
    // A user's connection that waited through a whole earlier read without a refusal went through.
    const std::string probe(kProbeTarget);
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (it->fedBefore && it->target != probe && !text.empty()) {
            events.serviceReached = it->target;
            it = m_pending.erase(it);
        } else {
            ++it;
        }
    }
    m_partial.append(text);
    std::size_t start = 0;
    for (std::size_t end; (end = m_partial.find('\n', start)) != std::string::npos; start = end + 1)
        merge(events, line(trimmedLine(std::string_view(m_partial).substr(start, end - start))));
    m_partial.erase(0, start);
    // A client that writes no line end for a long while is not worth the memory.
    if (m_partial.size() > 4096)
        m_partial.clear();
    for (Pending& pending : m_pending)
        pending.fedBefore = true;
    return events;
}

ClientLogFollower::ClientLogFollower(std::string path, FileGrowthWatch* growth)
    : m_path(std::move(path)), m_growth(growth) {}

ClientLogFollower::~ClientLogFollower() {
    release();
}

ClientLogFollower::ClientLogFollower(ClientLogFollower&& other) noexcept
    : m_path(std::move(other.m_path)), m_file(std::move(other.m_file)), m_growth(other.m_growth),
      m_growthToken(std::exchange(other.m_growthToken, FileGrowthWatch::kNotWatched)), m_offset(other.m_offset),
      m_reader(std::move(other.m_reader)) {}

ClientLogFollower& ClientLogFollower::operator=(ClientLogFollower&& other) noexcept {
    if (this != &other) {
        release();
        m_path = std::move(other.m_path);
        m_file = std::move(other.m_file);
        m_growth = other.m_growth;
        m_growthToken = std::exchange(other.m_growthToken, FileGrowthWatch::kNotWatched);
        m_offset = other.m_offset;
        m_reader = std::move(other.m_reader);
    }
    return *this;
}

bool ClientLogFollower::opened() {
    if (m_file && m_file->isOpen())
        return true;
    auto file = std::make_unique<fs::NoFollowFile>();
    if (file->open(m_path, fs::NoFollowFile::Access::Read) != fs::FileStatus::Ok)
        return false;
    m_file = std::move(file);
    if (m_growth)
        m_growthToken = m_growth->watch(*m_file);
    return true;
}

void ClientLogFollower::release() {
    if (m_growth)
        m_growth->unwatch(std::exchange(m_growthToken, FileGrowthWatch::kNotWatched));
    m_file.reset();
}

ForwardEvents ClientLogFollower::readNew(std::size_t maxBytes) {
    // Most seconds nothing was written: the watch tells so, or one look at the open file's size.
    if (!opened() || (m_growth && !m_growth->takeWritten(m_growthToken)))
        return {};
    const auto tryAgain = [this]() -> ForwardEvents {
        if (m_growth)
            m_growth->keepWritten(m_growthToken);
        return {};
    };
    const fs::NoFollowFile& file = *m_file;
    const std::int64_t size = file.size();
    if (size < 0)
        return tryAgain();
    if (static_cast<std::uintmax_t>(size) == m_offset)
        return {};
    if (static_cast<std::uintmax_t>(size) < m_offset) {
        m_offset = static_cast<std::uintmax_t>(size);
        return {};
    }
    if (static_cast<std::uintmax_t>(size) - m_offset > maxBytes)
        m_offset = static_cast<std::uintmax_t>(size) - maxBytes;
    std::string text;
    if (!file.readAt(m_offset, static_cast<std::size_t>(static_cast<std::uintmax_t>(size) - m_offset), text))
        return tryAgain();
    m_offset += text.size();
    return m_reader.feed(text);
}

void ClientLogFollower::skipToEnd() {
    const std::int64_t size = opened() ? m_file->size() : -1;
    m_offset = size < 0 ? 0 : static_cast<std::uintmax_t>(size);
}

} // namespace quorvane
