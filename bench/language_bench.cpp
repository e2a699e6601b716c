// Cost of applying a 1 MB language file to the program's windows, next to reading its bytes and splitting its lines.
#include <QApplication>
#include <QWidget>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "app/application.h"
#include "bench_stats.h"
#include "i18n/language_engine.h"
#include "i18n/property_adapters.h"

namespace {

using namespace quorvane;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kFileBytes = std::size_t{1} << 20;

// Every key of the program's windows a language file can reach, as Window.Component.Property.
std::vector<std::string> realKeys() {
    static const char* const kProperties[] = {"Caption", "Hint",       "Text",  "Items",
                                              "Lines",   "SimpleText", "Width", "Tag"};
    std::vector<std::string> keys;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName().isEmpty() || window->windowType() == Qt::Popup)
            continue;
        for (QObject* component : window->findChildren<QObject*>()) {
            const QString name = component->objectName();
            if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
                continue;
            for (const char* property : kProperties) {
                if (translatablePropertyKind(component, QString::fromLatin1(property)))
                    keys.push_back((window->objectName() + u'.' + name + u'.' + QLatin1String(property)).toStdString());
            }
        }
    }
    return keys;
}

// Real keys and as many unknown ones, as many as the key buffer holds, with long values and translators'
// notes between them up to 1 MB.
std::string languageFile(const std::vector<std::string>& real) {
    std::string file = "; Generated for the benchmark.\r\n[Translations]\r\n";
    std::size_t keyChars = 1;
    for (std::size_t i = 0; file.size() < kFileBytes; ++i) {
        const std::string& known = real[i / 2 % real.size()];
        std::string key =
            i % 2 == 0 ? known : (i % 4 == 1 ? "Main.Missing" : "Nowhere") + std::to_string(i) + ".Caption";
        keyChars += key.size() + 1;
        if (keyChars < TLanguageEngine::kKeyBufferChars) {
            const bool integer = key.ends_with("Width") || key.ends_with("Tag");
            const std::string value =
                integer ? std::to_string(100 + i % 500) : std::string(200 + i * 37 % 1800, 'a' + i % 26);
            file += key + "=" + value + "\r\n";
        }
        file += "; note " + std::to_string(i) + ": " + std::string(700, 'n') + "\r\n";
    }
    return file;
}

// The reference: the least any reader of the file must do.
std::size_t readAndSplit(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string_view> lines;
    for (std::size_t pos = 0; pos < bytes.size();) {
        const std::size_t end = std::min(bytes.find('\n', pos), bytes.size());
        lines.emplace_back(bytes.data() + pos, end - pos);
        pos = end + 1;
    }
    return lines.size();
}

struct Rig {
    std::string path;
    TLanguageEngine* language = nullptr;
    std::vector<double> applySeconds;
    std::vector<double> referenceSeconds;
};

Rig* g_rig = nullptr;

// Reference and application taken turn about, so both see the same load on a shared machine.
void BM_ApplyAndReferenceInTurn(benchmark::State& state) {
    for (auto _ : state) {
        const auto start = Clock::now();
        benchmark::DoNotOptimize(readAndSplit(g_rig->path));
        const auto middle = Clock::now();
        g_rig->language->ApplyLanguageFile(QString::fromStdString(g_rig->path));
        const auto end = Clock::now();
        const std::chrono::duration<double> reference = middle - start, apply = end - middle;
        g_rig->referenceSeconds.push_back(reference.count());
        g_rig->applySeconds.push_back(apply.count());
        state.SetIterationTime(apply.count());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    const std::filesystem::path work =
        std::filesystem::temp_directory_path() / ("quorvane_language_bench." + std::to_string(::getpid()));
    std::filesystem::create_directories(work);
    {
        AppOptions options;
        options.workingDir = work.string() + "/";
        QuorvaneApp app(std::move(options));
        const std::vector<std::string> real = realKeys();
        const std::string file = languageFile(real);
        Rig rig{(work / "default.lng").string(), app.main().language, {}, {}};
        std::ofstream(rig.path, std::ios::binary) << file;
        g_rig = &rig;

        // Once outside the numbers, counting what reaches a component, to show the file is really applied.
        int reached = 0;
        rig.language->OnTranslate = [&](QObject*, QObject*, const QString&, const QString&, QString&) { ++reached; };
        rig.language->ApplyLanguageFile(QString::fromStdString(rig.path));
        rig.language->OnTranslate = nullptr;
        std::printf("file of %zu bytes, %zu real keys known; %d entries reached a component, %lld problems\n",
                    file.size(), real.size(), reached, static_cast<long long>(rig.language->lastProblems().size()));

        benchmark::RegisterBenchmark("apply_1MB_and_reference_in_turn", BM_ApplyAndReferenceInTurn)
            ->UseManualTime()
            ->Repetitions(3)
            ->DisplayAggregatesOnly(true)
            ->Unit(benchmark::kMillisecond);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();

        const double apply = quorvane::bench::medianOf(rig.applySeconds);
        const double reference = quorvane::bench::medianOf(rig.referenceSeconds);
        std::printf("\nmedian per run: apply %.2f ms (goal < 1000 ms), read and split lines %.3f ms\n", apply * 1e3,
                    reference * 1e3);
        if (apply > 0 && reference > 0)
            std::printf("apply/read-and-split = %.1f (goal <= 100)\n", apply / reference);
        g_rig = nullptr;
    }
    std::filesystem::remove_all(work);
    return 0;
}
