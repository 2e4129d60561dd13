// What the export logic needs of a window, and nothing more.
//
// Controls are addressed by their names (looked up without regard to letter
// case). Texts cross this interface as Windows-1252; a window that shows them
// converts. Two implementations exist: the Qt window, and MemoryWindow, which
// holds plain values and answers questions by a policy (tests, batch command).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Dates.h"

namespace doz {

enum class ComponentKind {
    Edit,        // single-line edit
    DateEdit,    // date edit with calendar
    BrowseEdit,  // edit with an ellipsis button (cbBancaFile)
    List,        // drop-down list (cbBanche)
    CheckBox,
    Label,
    Button,
    Panel,
    Grid,
    Other,
};

// Edits, date edits and browse edits are all of the edit kind.
inline bool isEditKind(ComponentKind k) {
    return k == ComponentKind::Edit || k == ComponentKind::DateEdit || k == ComponentKind::BrowseEdit;
}

struct ComponentInfo {
    std::string name;          // exact name, e.g. "edNOME_SUPPORTO"
    ComponentKind kind = ComponentKind::Other;
    std::string parent;        // name of the parent panel ("pnlTesta", "Panel1"), empty for the window
    std::string focusControl;  // labels: the control they name; empty for none
};

enum class CursorShape { Default, HourGlass };

// Where the window stands on the screen and how big it is (its frame's top
// left corner and its inner size), and whether it is maximized.
struct WindowPlacement {
    int x = 0, y = 0, width = 0, height = 0;
    bool maximized = false;
    bool operator==(const WindowPlacement&) const = default;
};

// A list put before the user (the findings of a check, the produced files),
// in the order given: column titles, one row of texts per entry, and for each
// row a key the window hands back when the user picks that row (0: nothing to
// pick). `summary` is shown above the rows; `textForm` is what the list is
// saved as (Windows-1252, CRLF lines), under the proposed name `saveName`.
struct FindingList {
    std::string title;
    std::string summary;
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
    std::vector<int> keys;
    std::string textForm;
    std::string saveName;
    // A command of the list besides saving and closing it ("": none): a
    // button with this caption that hands `actionKey` to the pick handler.
    std::string action;
    int actionKey = 0;
};

class WindowPort {
public:
    virtual ~WindowPort() = default;

    // ---- components ----------------------------------------------------------
    // Every component the window owns, in creation order.
    virtual std::vector<ComponentInfo> components() const = 0;
    // Letter case ignored.
    virtual std::optional<ComponentInfo> findComponent(std::string_view name) const = 0;
    virtual bool isVisible(std::string_view name) const = 0;
    virtual void setVisible(std::string_view name, bool visible) = 0;
    virtual bool isEnabled(std::string_view name) const = 0;
    virtual void setEnabled(std::string_view name, bool enabled) = 0;

    // ---- texts and values ---------------------------------------------------
    // Edits, browse edits, labels and the window itself ("" names the caption).
    virtual std::string text(std::string_view name) const = 0;
    virtual void setText(std::string_view name, const std::string& text) = 0;
    // Date edits: the zero date when empty or not a valid date.
    virtual DaySerial date(std::string_view name) const = 0;
    virtual void setDate(std::string_view name, DaySerial date) = 0;  // 0 empties the control
    // Lists.
    virtual std::vector<std::string> items(std::string_view name) const = 0;
    virtual void addItem(std::string_view name, const std::string& item) = 0;
    virtual int selectedIndex(std::string_view name) const = 0;  // -1 none
    virtual void setSelectedIndex(std::string_view name, int index) = 0;
    // Check boxes.
    virtual bool isChecked(std::string_view name) const = 0;
    virtual void setChecked(std::string_view name, bool checked) = 0;

    // ---- the user ---------------------------------------------------------------
    virtual void setCursor(CursorShape shape) = 0;
    // Warning-style question with Yes and No; true only for Yes.
    virtual bool askYesNo(const std::string& question) = 0;
    virtual void showError(const std::string& message) = 0;
    // Something the user should know that stops nothing (an information box).
    virtual void showMessage(const std::string& message) = 0;
    // Save-file dialog seeded with a file name; the chosen name, or nothing when cancelled.
    virtual std::optional<std::string> runSaveDialog(const std::string& initialFile) = 0;
    // Folder dialog with a title, opened on a folder; the chosen folder, or nothing when cancelled.
    virtual std::optional<std::string> runFolderDialog(const std::string& title, const std::string& initialFolder) = 0;
    virtual void close() = 0;
    // The window's place and size; setting it is a wish the window keeps only
    // where it lands on a screen.
    virtual WindowPlacement placement() const = 0;
    virtual void setPlacement(const WindowPlacement& placement) = 0;
    // Shows a list and returns at once; while the list is open, picking a row
    // with a key other than 0, or pressing its action, calls `onPick` with that
    // key. A new list replaces the one shown (also from inside `onPick`).
    virtual void showList(const FindingList& list, std::function<void(int key)> onPick) = 0;
    // Hands a folder or a file to the desktop (file manager, associated program),
    // detached; the outcome is not checked.
    virtual void openWithDesktop(const std::string& path) = 0;
};

}  // namespace doz
