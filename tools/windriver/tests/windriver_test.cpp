// The driver against a practice dialog (target_win.cpp) in another process.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "target_resource.h"
#include "windriver.h"
#include "wintest.h"

namespace {

std::string TargetPath() { return windriver::Environment("WINDRIVER_TARGET"); }
std::string ScratchDir() { return windriver::Environment("TEST_SCRATCH"); }

// Starts the target and waits for its dialog; the test fails when either does not happen.
HWND StartTarget(windriver::Process& process, windriver::StartOptions options = {}) {
    options.program = TargetPath();
    if (!process.Start(options)) {
        WT_CHECK_MSG(false, process.Error());
        return nullptr;
    }
    HWND dialog = windriver::WaitForWindow(process.Id(), "#32770", "Driver Target");
    WT_CHECK(dialog != nullptr);
    return dialog;
}

}  // namespace

WT_TEST(StartReportsAMissingProgram) {
    windriver::Process process;
    windriver::StartOptions options;
    options.program = ScratchDir() + "/no-such-program.exe";
    WT_CHECK(!process.Start(options));
    WT_CHECK(process.Error().find("no-such-program.exe") != std::string::npos);
    WT_CHECK(!process.Running());
}

WT_TEST(StartsWithEnvironmentAndDirectoryAndReadsTexts) {
    windriver::Process process;
    windriver::StartOptions options;
    options.environment = {{"TARGET_GREETING", "Hello there"}};
    options.workingDirectory = ScratchDir();
    HWND dialog = StartTarget(process, options);
    if (!dialog) return;
    WT_CHECK_EQ(windriver::ControlText(dialog, IDC_GREETING), std::string("Hello there"));
    WT_CHECK_EQ(windriver::ControlText(dialog, IDC_DIRECTORY),
                windriver::WindowsPath(ScratchDir()));
    WT_CHECK_EQ(windriver::Text(dialog), std::string("Driver Target"));
    WT_CHECK_EQ(windriver::ClassName(dialog), std::string("#32770"));
    // A window of another caption or class is not this one.
    WT_CHECK(windriver::FindWindowOf(process.Id(), "#32770", "Driver") == nullptr);
    WT_CHECK(windriver::FindWindowOf(process.Id(), "Button", "") == nullptr);
    WT_CHECK(windriver::FindWindowOf(process.Id(), "#32770", "", dialog) == nullptr);
    // No such control: every accessor says so instead of reading something else.
    WT_CHECK_EQ(windriver::ControlText(dialog, 999), std::string());
    WT_CHECK_EQ(windriver::CheckState(dialog, 999), -1);
    WT_CHECK(!windriver::IsEnabled(dialog, 999));
    WT_CHECK(!windriver::Click(dialog, 999));
}

WT_TEST(UnsetVariableIsRemovedFromTheEnvironment) {
    SetEnvironmentVariableW(L"TARGET_GREETING", L"from the driver");
    windriver::Process process;
    windriver::StartOptions options;
    options.environment = {{"TARGET_GREETING", ""}};
    HWND dialog = StartTarget(process, options);
    SetEnvironmentVariableW(L"TARGET_GREETING", nullptr);
    if (!dialog) return;
    WT_CHECK_EQ(windriver::ControlText(dialog, IDC_GREETING), std::string("(none)"));
}

WT_TEST(PressesButtonsAndReadsTheirState) {
    windriver::Process process;
    HWND dialog = StartTarget(process);
    if (!dialog) return;
    WT_CHECK_EQ(windriver::CheckState(dialog, IDC_CHECK), BST_CHECKED);
    WT_CHECK(windriver::Click(dialog, IDC_CHECK));
    WT_CHECK(windriver::WaitUntil(
        [&] { return windriver::CheckState(dialog, IDC_CHECK) == BST_UNCHECKED; }));
    // A disabled button cannot be pressed.
    WT_CHECK(windriver::IsVisible(dialog, IDC_DISABLED));
    WT_CHECK(!windriver::IsEnabled(dialog, IDC_DISABLED));
    WT_CHECK(!windriver::Click(dialog, IDC_DISABLED));
    WT_CHECK(!windriver::Press(dialog, IDC_DISABLED));
    // Press returns once the handler has run: the button it disables is disabled at once.
    WT_CHECK(windriver::Press(dialog, IDC_ONCE));
    WT_CHECK(!windriver::IsEnabled(dialog, IDC_ONCE));
    WT_CHECK(!windriver::Press(dialog, IDC_ONCE));
    WT_CHECK(windriver::IsEnabled(dialog, IDC_QUIT));

    WT_CHECK(windriver::Click(dialog, IDC_QUIT));
    DWORD code = 0;
    WT_CHECK(process.WaitForExit(code));
    WT_CHECK_EQ(code, DWORD(7));
}

WT_TEST(AnswersMessageBoxes) {
    // Each row: the button pressed and the text the dialog shows afterwards.
    struct Row {
        int button;
        const char* shown;
    } rows[] = {{IDOK, "Answered OK"}, {IDCANCEL, "Answered Cancel"}};
    windriver::Process process;
    HWND dialog = StartTarget(process);
    if (!dialog) return;
    windriver::MessageBoxInfo none;
    WT_CHECK(!windriver::FindMessageBox(process.Id(), none, dialog));
    for (const Row& row : rows) {
        const std::string name = "button " + std::to_string(row.button);
        WT_CHECK_MSG(windriver::Click(dialog, IDC_SHOW), name);
        windriver::MessageBoxInfo box;
        WT_CHECK_MSG(windriver::WaitForMessageBox(process.Id(), box, dialog), name);
        WT_CHECK_EQ(box.caption, std::string("Driver Target"));
        WT_CHECK_EQ(box.text, std::string("Pressed"));
        WT_CHECK_MSG(box.buttons == (std::vector<int>{IDOK, IDCANCEL}), name);
        WT_CHECK_EQ(windriver::MessageBoxIcon(box), std::string("warning"));
        // The box makes its owner modal-disabled: the main dialog is not mistaken for it.
        WT_CHECK_MSG(box.window != dialog, name);
        WT_CHECK_MSG(windriver::AnswerMessageBox(box, row.button), name);
        WT_CHECK_MSG(windriver::WaitUntil(
                         [&] { return windriver::ControlText(dialog, IDC_ANSWER) == row.shown; }),
                     name + ": " + windriver::ControlText(dialog, IDC_ANSWER));
    }
    WT_CHECK(windriver::Close(dialog));
    DWORD code = 0;
    WT_CHECK(process.WaitForExit(code));
    WT_CHECK_EQ(code, DWORD(3));
}

// The information box comes after long work, when its thread has taken no message for 5 s.
WT_TEST(TellsMessageBoxIconsApart) {
    windriver::Process process;
    HWND dialog = StartTarget(process);
    if (!dialog) return;
    WT_CHECK(windriver::Click(dialog, IDC_NOTE));
    windriver::MessageBoxInfo box;
    WT_CHECK(windriver::WaitForMessageBox(process.Id(), box, dialog));
    WT_CHECK_EQ(box.text, std::string("Noted"));
    WT_CHECK(box.buttons == std::vector<int>{IDOK});
    WT_CHECK_EQ(windriver::MessageBoxIcon(box), std::string("information"));
    WT_CHECK(windriver::AnswerMessageBox(box, IDOK));
}

WT_TEST(WorksTheOpenFileDialog) {
    const std::string file = ScratchDir() + "/chosen.txt";
    WT_CHECK(windriver::WriteTextFile(file, "x"));
    windriver::Process process;
    HWND dialog = StartTarget(process);
    if (!dialog) return;
    WT_CHECK(windriver::FindFileDialog(process.Id()) == nullptr);  // the target is not one
    WT_CHECK(windriver::Click(dialog, IDC_OPEN));
    HWND chooser = windriver::WaitForFileDialog(process.Id());
    WT_CHECK(chooser != nullptr);
    WT_CHECK(windriver::CancelFileDialog(chooser));
    WT_CHECK(windriver::WaitUntil(
        [&] { return windriver::ControlText(dialog, IDC_ANSWER) == "Open cancelled"; }));
    WT_CHECK(windriver::Click(dialog, IDC_OPEN));
    chooser = windriver::WaitForFileDialog(process.Id());
    WT_CHECK(windriver::ChooseFile(chooser, file));
    WT_CHECK(windriver::WaitUntil([&] {
        return windriver::ControlText(dialog, IDC_ANSWER) == windriver::WindowsPath(file);
    }));
}

WT_TEST(MeasuresControlsInDialogUnits) {
    windriver::Process process;
    HWND dialog = StartTarget(process);
    if (!dialog) return;
    // The template's font and rectangles (left, top, right, bottom), and a wrong font.
    struct Row {
        int id;
        const char* face;
        int points;
        RECT units;
        bool same;
    } rows[] = {{IDC_SHOW, "MS Shell Dlg", 8, {7, 150, 57, 164}, true},
                {IDC_QUIT, "MS Shell Dlg", 8, {203, 150, 253, 164}, true},
                {IDC_QUIT, "MS Shell Dlg", 12, {203, 150, 253, 164}, false},
                {IDC_QUIT, "MS Shell Dlg", 8, {203, 151, 253, 165}, false}};
    for (const Row& row : rows) {
        const RECT want = windriver::DialogUnitsToPixels(row.face, row.points, row.units);
        const RECT got = windriver::ControlRect(dialog, row.id);
        const bool same = want.left == got.left && want.top == got.top && want.right == got.right &&
                          want.bottom == got.bottom;
        WT_CHECK_MSG(same == row.same,
                     "control " + std::to_string(row.id) + " at " + std::to_string(row.points));
    }
    const RECT none = windriver::ControlRect(dialog, 999);
    WT_CHECK(none.right == 0 && none.bottom == 0);
}

WT_TEST(ReadsAndSelectsListViewRows) {
    windriver::Process process;
    HWND dialog = StartTarget(process);
    if (!dialog) return;
    HWND list = windriver::Control(dialog, IDC_LIST);
    WT_CHECK_EQ(windriver::ListRowCount(list), 3);
    WT_CHECK_EQ(windriver::ListColumnCount(list), 2);
    WT_CHECK_EQ(windriver::ListColumnTitle(list, 0), std::string("Name"));
    WT_CHECK_EQ(windriver::ListColumnTitle(list, 1), std::string("Size"));
    // The second column comes from the program's display callback.
    const std::vector<std::vector<std::string>> expected = {
        {"alpha.jpg", "1 KB"}, {"beta.avi", "22 KB"}, {"gamma.wav", "333 KB"}};
    auto rows = windriver::ListRows(list);
    WT_CHECK_EQ(rows.size(), expected.size());
    for (size_t row = 0; row < rows.size() && row < expected.size(); ++row)
        WT_CHECK_MSG(rows[row] == expected[row], "row " + std::to_string(row));

    WT_CHECK_EQ(windriver::ListItemState(list, 1, LVIS_SELECTED), 0u);
    WT_CHECK(windriver::SelectListRow(list, 1, true));
    WT_CHECK(windriver::SelectListRow(list, 2, true));
    WT_CHECK_EQ(windriver::ListItemState(list, 1, LVIS_SELECTED), UINT(LVIS_SELECTED));
    WT_CHECK_EQ(windriver::ListItemState(list, 2, LVIS_SELECTED), UINT(LVIS_SELECTED));
    WT_CHECK(windriver::SelectListRow(list, 1, false));
    WT_CHECK_EQ(windriver::ListItemState(list, 1, LVIS_SELECTED), 0u);
    WT_CHECK_EQ(windriver::ListItemState(list, 0, LVIS_SELECTED), 0u);
    const UINT marks = LVIS_SELECTED | LVIS_FOCUSED;
    WT_CHECK(windriver::SetListItemState(list, 0, marks, marks));
    WT_CHECK_EQ(windriver::ListItemState(list, 0, marks), marks);
    WT_CHECK_EQ(windriver::ListItemState(list, 2, marks), UINT(LVIS_SELECTED));

    WT_CHECK_EQ(windriver::ListItemImage(list, 2), 12);
    // The click is handled by the time ClickListHeading returns.
    WT_CHECK(windriver::ClickListHeading(list, 1));
    WT_CHECK_EQ(windriver::ControlText(dialog, IDC_ANSWER), std::string("Column 1"));
}

WT_TEST(KillsAProgramThatDoesNotEnd) {
    windriver::Process process;
    HWND dialog = StartTarget(process);
    if (!dialog) return;
    WT_CHECK(windriver::Click(dialog, IDC_HANG));
    DWORD code = 0;
    WT_CHECK(!process.WaitForExit(code, 300));
    WT_CHECK(process.Running());
    process.Kill();
    WT_CHECK(!process.Running());
    WT_CHECK(process.WaitForExit(code, 0));
    WT_CHECK_EQ(code, DWORD(255));
}

WT_TEST(ReadsTextFilesLineByLine) {
    const std::string path = ScratchDir() + "/lines.txt";
    // Each row: file content and the lines read back.
    struct Row {
        const char* content;
        std::vector<std::string> lines;
    } rows[] = {
        {"", {}},
        {"one", {"one"}},
        {"one\ntwo\n", {"one", "two"}},
        {"one\r\n\r\nthree\r\n", {"one", "", "three"}},
    };
    for (const Row& row : rows) {
        WT_CHECK(windriver::WriteTextFile(path, row.content));
        std::vector<std::string> lines;
        WT_CHECK_MSG(windriver::ReadLines(path, lines), row.content);
        WT_CHECK_MSG(lines == row.lines, row.content);
    }
    WT_CHECK(windriver::RemoveFile(path));
    WT_CHECK(windriver::RemoveFile(path));  // already gone is fine
    std::vector<std::string> lines = {"stale"};
    WT_CHECK(!windriver::ReadLines(path, lines));
    WT_CHECK(lines.empty());
    WT_CHECK(windriver::ReadTrace(path).empty());
}

int main(int argc, char** argv) { return wintest::RunAll(argc, argv); }
