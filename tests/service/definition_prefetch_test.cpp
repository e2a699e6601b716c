// Definitions read ahead on a second thread are the same, in the same order, as read one by one; a prefetch let go
// half taken ends at once.
#include "service/definition_prefetch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "store/paths.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

TEST(DefinitionPrefetch, GivesWhatReadingEachInTurnGivesWhateverItsSize) {
    test::TempDir work;
    std::vector<std::string> names;
    for (int i = 0; i < 120; ++i) {
        char name[16];
        char host[16];
        std::snprintf(name, sizeof name, "t%d", i);
        std::snprintf(host, sizeof host, "host%d", i);
        names.push_back(name);
        work.makeFolder("tunnells/" + names.back());
        SaveDefinition(work.withSeparator(), names.back(),
                       {host, "22", "user", "secret", std::to_string(20000 + i), "127.0.0.1", "80", i % 2 == 0});
    }
    names.push_back("missing"); // a folder without its definition
    work.makeFolder("tunnells/missing");
    names.push_back("folder"); // a folder where the file should be
    work.makeFolder("tunnells/" + paths::DefinitionFileInTunnels("folder"));
    const std::string tunnelsDir = paths::TunnelsDirForListing(work.withSeparator());

    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, names.size()}) {
        const std::vector<std::string> listed(names.end() - static_cast<std::ptrdiff_t>(size), names.end());
        DefinitionPrefetch prefetch(tunnelsDir, listed);
        for (std::size_t i = 0; i < listed.size(); ++i) {
            const DefinitionLoad expected = loadDefinitionChecked(work.withSeparator(), listed[i]);
            const DefinitionLoad taken = prefetch.take(i);
            EXPECT_EQ(taken.problem, expected.problem) << listed[i];
            EXPECT_EQ(taken.definition, expected.definition) << listed[i];
        }
        EXPECT_EQ(prefetch.take(listed.size()).problem, DefinitionProblem::None) << "past the end: nothing";
    }
    DefinitionPrefetch halfTaken(tunnelsDir, names);
    EXPECT_EQ(halfTaken.take(3).definition.IpServer, "host3");
}

} // namespace
} // namespace quorvane
