// The window rules both toolkits call: the progress window's transitions in
// their order, the About identifiers, the minimised icon's place.
#include "ui/ProgressWindowSteps.h"
#include "ui/ShellRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qorlu::gui {
namespace {

struct StepRecorder final : IProgressWindowSteps {
    std::vector<std::string> steps;
    void HideMainWindow() override { steps.push_back("hide main"); }
    void ShowMainWindow() override { steps.push_back("show main"); }
    void ClearText() override { steps.push_back("clear text"); }
    void PostBeginExtract() override { steps.push_back("post begin"); }
    void EndDialog() override { steps.push_back("end dialog"); }
    void DestroyWindow() override { steps.push_back("destroy"); }
};

TEST(ProgressWindowSteps, EachMomentDoesItsStepsInOrderAndTouchesOnlyItsState) {
    StepRecorder w;
    std::atomic<int> cancel{1}; // left set by the previous job
    bool firstPaint = false;

    OnProgressOpening(w, cancel, firstPaint);
    EXPECT_EQ(w.steps, (std::vector<std::string>{"hide main", "clear text"}));
    EXPECT_EQ(cancel.load(), 0);
    EXPECT_TRUE(firstPaint);

    w.steps.clear();
    OnProgressPaint(w, firstPaint);
    OnProgressPaint(w, firstPaint);
    EXPECT_EQ(w.steps, (std::vector<std::string>{"post begin"})) << "one start per opening";

    w.steps.clear();
    OnProgressCancel(cancel);
    OnProgressCancel(cancel);
    EXPECT_EQ(cancel.load(), 1);
    EXPECT_TRUE(w.steps.empty()) << "Cancel leaves the windows as they are";

    OnProgressClosing(w);
    EXPECT_EQ(w.steps, (std::vector<std::string>{"end dialog", "show main", "destroy"}));

    w.steps.clear();
    OnProgressOpening(w, cancel, firstPaint);
    OnProgressPaint(w, firstPaint);
    EXPECT_EQ(cancel.load(), 0) << "a second opening starts with the flag cleared";
    EXPECT_EQ(w.steps, (std::vector<std::string>{"hide main", "clear text", "post begin"}));
}

TEST(ShellRules, AboutIsSixteenToThirtyOneAndTheIconIsCentredWithTruncation) {
    const struct {
        unsigned id;
        bool about;
    } commands[] = {{15, false}, {16, true}, {17, true}, {31, true}, {32, false}, {0xF020, false}, {0xF060, false}};
    for (const auto& c : commands) EXPECT_EQ(IsAboutCommand(c.id), c.about) << c.id;

    const struct {
        int w, h, cx, cy;
        IconPlace place;
    } icons[] = {
        {36, 36, 32, 32, {2, 2}},   {37, 36, 32, 32, {3, 2}},  // (37 - 32 + 1) / 2
        {32, 32, 32, 32, {0, 0}},   {30, 29, 32, 32, {0, -1}}, // -1 / 2 is 0, -2 / 2 is -1
        {0, 0, 32, 32, {-15, -15}},                            // -31 / 2 truncates toward zero
    };
    for (const auto& i : icons) EXPECT_EQ(MinimizedIconPlace(i.w, i.h, i.cx, i.cy), i.place) << i.w << "x" << i.h;
}

} // namespace
} // namespace qorlu::gui
