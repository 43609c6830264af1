#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "desktop/provision_desktop.h"
#include "platform/host_platform.h"

namespace {

class ProvisionTest : public ::testing::Test {
protected:
    void SetUp() override { host::Reset(); }
    static std::vector<std::string> Texts(const std::string& name) {
        std::vector<std::string> texts;
        for (const host::Call& call : host::CallsNamed(name)) {
            texts.push_back(call.text);
        }
        return texts;
    }
};

TEST_F(ProvisionTest, DesktopNamesCarryATrailingZero) {
    EXPECT_EQ(DesktopName(0), L"TALVEK00");
    EXPECT_EQ(DesktopName(1), L"TALVEK10");
    EXPECT_EQ(DesktopName(2), L"TALVEK20");
}

TEST_F(ProvisionTest, MakesTheDesktopStartsTheShellOnItAndGreetsItsTaskbar) {
    const os::DesktopHandle desktop = ProvisionDesktop(1);
    ASSERT_NE(desktop, nullptr);
    EXPECT_EQ(Texts("CreateDesktopW"), std::vector<std::string>{"CreateDesktopW(TALVEK10, 268435456)"});
    ASSERT_EQ(host::world().processes.size(), 1u);
    const host::StartedProcess& shell = host::world().processes[0];
    EXPECT_EQ(shell.commandLine, L"C:\\Windows\\Explorer.exe");
    EXPECT_EQ(shell.applicationName, L"C:\\Windows\\Explorer.exe");
    EXPECT_EQ(shell.desktop, L"TALVEK10");
    EXPECT_EQ(shell.startupFlags, 1u);  // STARTF_USESHOWWINDOW
    EXPECT_EQ(shell.showWindow, 5);     // SW_SHOW
    // Both of the shell's handles are closed, the thread's first; the desktop is kept.
    EXPECT_EQ(host::world().closedHandles, (std::vector<os::Handle>{shell.handles.thread, shell.handles.process}));
    // The taskbar is looked for from a thread bound to the new desktop, and greeted there.
    const std::vector<host::Call> posts = host::CallsNamed("PostMessageW");
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].text, "PostMessageW(tray1, 1396, 2, 0)");
    EXPECT_EQ(posts[0].threadDesktop, desktop);
    EXPECT_NE(posts[0].threadId, os::GetCurrentThreadId());
    // The main thread stays where it was.
    EXPECT_EQ(host::ThreadDesktop(), host::StartingDesktop());
}

TEST_F(ProvisionTest, ATaskbarThatIsThereAtOnceIsGreetedWithoutAPause) {
    ProvisionDesktop(0);
    EXPECT_TRUE(host::CallsNamed("Sleep").empty());
    EXPECT_EQ(host::CallsNamed("PostMessageW").size(), 1u);
}

TEST_F(ProvisionTest, KMissesMeanKPausesThenOneMoreSearch) {
    host::world().trayMisses = {{L"TALVEK00", 3}};
    ProvisionDesktop(0);
    EXPECT_EQ(Texts("Sleep"), std::vector<std::string>(3, "Sleep(500)"));
    EXPECT_EQ(host::CallsNamed("FindWindowW").size(), 5u);  // three misses, the find, the one more
    EXPECT_EQ(host::CallsNamed("PostMessageW").size(), 1u);
}

TEST_F(ProvisionTest, ATaskbarThatNeverComesIsWaitedForAtMostTheLimit) {
    host::world().trayMisses = {{L"TALVEK00", -1}};
    EXPECT_NE(ProvisionDesktop(0), nullptr);
    EXPECT_EQ(host::CallsNamed("Sleep").size(), TRAY_SEARCH_LIMIT_MS / TRAY_POLL_INTERVAL_MS);
    EXPECT_TRUE(host::CallsNamed("PostMessageW").empty());
}

TEST_F(ProvisionTest, ADesktopThatCannotBeMadeStartsNothing) {
    host::world().failingDesktops = {L"TALVEK20"};
    EXPECT_EQ(ProvisionDesktop(2), nullptr);
    EXPECT_EQ(host::CallNames(), std::vector<std::string>{"CreateDesktopW"});
}

TEST_F(ProvisionTest, AShellThatCannotStartIsNotWaitedFor) {
    host::world().processStartFails = true;
    EXPECT_NE(ProvisionDesktop(0), nullptr);
    EXPECT_TRUE(host::CallsNamed("StartThread").empty());
    EXPECT_TRUE(host::CallsNamed("FindWindowW").empty());
    EXPECT_TRUE(host::world().closedHandles.empty());
}

TEST_F(ProvisionTest, WithoutTheWindowsDirectoryNoShellIsStarted) {
    host::world().windowsDirectoryFails = true;
    EXPECT_NE(ProvisionDesktop(0), nullptr);
    EXPECT_TRUE(host::CallsNamed("CreateProcessW").empty());
    EXPECT_TRUE(host::CallsNamed("FindWindowW").empty());
}

TEST_F(ProvisionTest, AWindowsDirectoryTooLongForTheBufferStartsNoShell) {
    host::world().windowsDirectory = L"C:\\" + std::wstring(WINDOWS_DIR_CAPACITY, L'w');
    EXPECT_NE(ProvisionDesktop(0), nullptr);
    EXPECT_TRUE(host::CallsNamed("CreateProcessW").empty());
}

TEST_F(ProvisionTest, ABlankInTheWindowsDirectoryCannotRunAnotherProgram) {
    host::world().windowsDirectory = L"C:\\Program Files\\Win";
    ProvisionDesktop(0);
    ASSERT_EQ(host::world().processes.size(), 1u);
    // The command line is as it always was; the application name pins the program run.
    EXPECT_EQ(host::world().processes[0].commandLine, L"C:\\Program Files\\Win\\Explorer.exe");
    EXPECT_EQ(host::world().processes[0].applicationName, L"C:\\Program Files\\Win\\Explorer.exe");
}

TEST_F(ProvisionTest, AWorkerThatCannotStartLeavesTheDesktopUnwaitedFor) {
    host::world().threadStartFails = true;
    EXPECT_NE(ProvisionDesktop(0), nullptr);
    EXPECT_EQ(host::world().processes.size(), 1u);
    EXPECT_TRUE(host::CallsNamed("FindWindowW").empty());
}

TEST_F(ProvisionTest, ProvisioningIsStrictlyOneAfterAnother) {
    host::world().trayMisses = {{L"TALVEK00", 2}, {L"TALVEK10", 1}};
    ProvisionDesktop(0);
    ProvisionDesktop(1);
    // Every call for the first desktop comes before the second desktop is made.
    const std::vector<std::string> names = host::CallNames();
    const auto secondCreate = std::find(names.begin() + 1, names.end(), "CreateDesktopW");
    const auto firstPost = std::find(names.begin(), names.end(), "PostMessageW");
    EXPECT_LT(firstPost, secondCreate);
    EXPECT_EQ(host::CallsNamed("PostMessageW").size(), 2u);
}

}  // namespace
