// Every page and dialog drawn in French: a text handed to Tr without a French entry fails, also
// one that reaches Tr through a variable (labels, titles, tables), which no source scan can see.
#include <gtest/gtest.h>

#include "tests/ui/ui_fixture.h"

namespace {

class FrenchTest : public uitest::UiTest {
protected:
    void DrawEveryPage() {
        for (Page p = page::kDashboard; p <= page::kSettings; ++p) {
            ui::SetPage(p);
            Frames(3);
        }
    }
};

TEST_F(FrenchTest, EveryPageOnAnEmptyRootAndOnStandinBuilds) {
    uitest::UntranslatedRecorder french;
    DrawEveryPage();
    MakeStack();
    DrawEveryPage();
    EXPECT_EQ(uitest::UntranslatedRecorder::Missing(), std::set<std::string>{});
}

}  // namespace
