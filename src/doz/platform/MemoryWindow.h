// The export window held as plain values, with no toolkit behind it.
//
// The tests and the batch command drive the export logic through this window.
// It owns the same components as the real window (names, kinds, parent panels,
// captions, label focus controls, edit limits and start-up state) and stands in
// for the user: questions are answered by a policy, and every message, dialog,
// cursor change, close and desktop request is recorded instead of shown.
//
// Each value accessor serves the kinds that carry that value (text: edits,
// browse edits, labels, buttons, check boxes, panels and the caption ""; date:
// date edits; items and selection: lists; ticked state: check boxes). A name
// that is no component, or a component of the wrong kind, is a wiring fault and
// raises AssertionFailure, as the real window does.
#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/WindowPort.h"

namespace doz {

class MemoryWindow : public WindowPort {
public:
    // One Yes/No question put to the user, with the answer given.
    struct Question {
        std::string text;
        bool answer = false;
    };
    using QuestionPolicy = std::function<bool(const std::string& question)>;

    // The window as it stands right after creation, before the start-up
    // sequence fills it: caption without version, lists empty, dates empty.
    MemoryWindow();

    // ---- WindowPort ----------------------------------------------------------------
    std::vector<ComponentInfo> components() const override;
    std::optional<ComponentInfo> findComponent(std::string_view name) const override;
    bool isVisible(std::string_view name) const override;
    void setVisible(std::string_view name, bool visible) override;
    bool isEnabled(std::string_view name) const override;
    void setEnabled(std::string_view name, bool enabled) override;

    std::string text(std::string_view name) const override;
    // The limit of an edit restricts typing only: a text the program sets is kept whole.
    void setText(std::string_view name, const std::string& text) override;
    DaySerial date(std::string_view name) const override;
    void setDate(std::string_view name, DaySerial date) override;
    std::vector<std::string> items(std::string_view name) const override;
    void addItem(std::string_view name, const std::string& item) override;
    int selectedIndex(std::string_view name) const override;
    // An index outside the items leaves the list with no selection (-1).
    void setSelectedIndex(std::string_view name, int index) override;
    bool isChecked(std::string_view name) const override;
    void setChecked(std::string_view name, bool checked) override;

    void setCursor(CursorShape shape) override;
    bool askYesNo(const std::string& question) override;
    void showError(const std::string& message) override;
    void showMessage(const std::string& message) override;
    std::optional<std::string> runSaveDialog(const std::string& initialFile) override;
    std::optional<std::string> runFolderDialog(const std::string& title, const std::string& initialFolder) override;
    void close() override;
    WindowPlacement placement() const override { return placement_; }
    void setPlacement(const WindowPlacement& placement) override { placement_ = placement; }
    void openWithDesktop(const std::string& path) override;
    void showList(const FindingList& list, std::function<void(int key)> onPick) override;

    // ---- the stand-in user: policies ----------------------------------------------
    // The user types `text` over the edit's content: no more than the edit's
    // limit of characters (bytes) is taken.
    void typeText(std::string_view name, const std::string& text);
    // Decides each Yes/No question; without one (or with an empty one) every answer is No.
    void setQuestionPolicy(QuestionPolicy policy) { questionPolicy_ = std::move(policy); }
    // What the save dialog returns from now on; nothing means the user cancels (the default).
    void setSaveDialogAnswer(std::optional<std::string> answer) { saveDialogAnswer_ = std::move(answer); }
    // What each folder dialog returns, given its title; without one every folder dialog is cancelled.
    using FolderPolicy = std::function<std::optional<std::string>(const std::string& title)>;
    void setFolderDialogPolicy(FolderPolicy policy) { folderPolicy_ = std::move(policy); }
    // Picks row `row` of the list shown last (a double click or Enter on it):
    // its key, unless 0, goes to the list's pick handler. A row the list does
    // not have is a fault of the test (AssertionFailure).
    void pickListRow(std::size_t row);
    // Presses the action of the list shown last; a list without one is a fault of the test.
    void pressListAction();

    // ---- records ----------------------------------------------------------------------
    const std::vector<Question>& questions() const { return questions_; }
    const std::vector<std::string>& errors() const { return errors_; }
    const std::vector<std::string>& messages() const { return messages_; }
    // The initial file name of every save dialog run, in order.
    const std::vector<std::string>& saveDialogRequests() const { return saveDialogRequests_; }
    // The initial folder of every folder dialog run, in order.
    const std::vector<std::string>& folderDialogRequests() const { return folderDialogRequests_; }
    bool closed() const { return closeCount_ > 0; }
    int closeCount() const { return closeCount_; }
    CursorShape cursor() const { return cursor_; }
    // Every setCursor call, in order.
    const std::vector<CursorShape>& cursorHistory() const { return cursorHistory_; }
    const std::vector<std::string>& openedPaths() const { return openedPaths_; }
    // Every list shown, in order (the batch command prints its findings itself).
    const std::vector<FindingList>& lists() const { return lists_; }

private:
    struct Component {
        ComponentInfo info;
        std::string text;   // caption of labels, buttons, check boxes, panels; content of edits
        std::size_t maxLength = 0;  // edits: 0 = no limit
        bool visible = true;
        bool enabled = true;
        DaySerial date = 0;
        std::vector<std::string> items;
        int selected = -1;
        bool checked = false;
    };

    Component& add(std::string name, ComponentKind kind, std::string parent, std::string text = {},
                   std::string focusControl = {});
    const Component* lookUp(std::string_view name) const;
    const Component& get(std::string_view name) const;
    Component& get(std::string_view name);
    const Component& getKind(std::string_view name, std::initializer_list<ComponentKind> kinds) const;
    Component& getKind(std::string_view name, std::initializer_list<ComponentKind> kinds);

    std::vector<Component> components_;
    std::unordered_map<std::string, std::size_t> byLowerName_;
    std::string caption_;

    QuestionPolicy questionPolicy_;
    std::optional<std::string> saveDialogAnswer_;
    std::vector<Question> questions_;
    std::vector<std::string> errors_;
    std::vector<std::string> messages_;
    std::vector<std::string> saveDialogRequests_;
    FolderPolicy folderPolicy_;
    std::vector<std::string> folderDialogRequests_;
    int closeCount_ = 0;
    CursorShape cursor_ = CursorShape::Default;
    std::vector<CursorShape> cursorHistory_;
    std::vector<std::string> openedPaths_;
    std::vector<FindingList> lists_;
    std::function<void(int key)> onPick_;
    WindowPlacement placement_{0, 0, 934, 480, false};
};

}  // namespace doz
