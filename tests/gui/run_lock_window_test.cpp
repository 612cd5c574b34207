// The window beside another run: a click waits for the run locks and is
// refused with the holder's name; closing while an action runs asks first.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QPushButton>

#include "gui/main_window.h"
#include "platform/run_lock.h"
#include "tests/gui/gui_support.h"
#include "tests/support/window_fixture.h"

namespace actualiz::testing {
namespace {

// Closes the window whenever a message box is shown, as an operator who
// clicks the window's close button while the box is up.
class ClosingOperator : public RecordingOperator {
 public:
  void ShowMessage(std::string_view text, platform::MessageLook look) override {
    RecordingOperator::ShowMessage(text, look);
    if (view != nullptr) view->close();
  }
  QWidget* view = nullptr;
};

TEST(WindowBesideAnotherRun, AClickIsRefusedNamingTheHolderAndClosingMidActionAsks) {
  for (const bool answer : {false, true}) {
    SCOPED_TRACE(answer);
    TestSite site;
    site.Database("c:\\prog\\modelos\\clientes.mdb");
    ClosingOperator op;
    app::Environment env = site.MakeEnvironment();
    env.op = &op;
    env.lock_wait = std::chrono::milliseconds(100);
    app::Actualiz window(env);
    gui::MainWindow view(window);
    view.Start();
    op.answer = answer;
    op.view = &view;

    const platform::RunLock held(site.Host("c:\\Zarade"), platform::LockMode::kExclusive,
                                 std::chrono::milliseconds(0), "actualiz-cli batch");
    qobject_cast<QPushButton*>(view.ViewOf("Command15"))->click();  // "Bases Añadir"

    ASSERT_FALSE(op.messages.empty());
    EXPECT_NE(
        op.messages.back().text.find("actualiz-cli batch (process " + std::to_string(getpid())),
        std::string::npos)
        << op.messages.back().text;
    EXPECT_EQ(window.List8.ListCount(), 0) << "the refused click ran";
    EXPECT_EQ(op.questions.size(), 1u);
    EXPECT_EQ(view.isVisible(), !answer);
  }
}

}  // namespace
}  // namespace actualiz::testing
