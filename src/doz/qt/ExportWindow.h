// The export window on screen: the controls of the window, wired to the
// handlers of TfmPzExport_Banche, and the WindowPort the handlers drive.
//
// Nothing here decides anything: every event goes to its handler, and every
// handler reaches the controls, the cursor, the questions and the dialogs
// through the WindowPort operations below. Texts crossing the port are
// Windows-1252 and are converted to and from the toolkit's Unicode here.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "PztFExport_Banche.h"
#include "platform/WindowPort.h"

class QMessageBox;
class QSplitter;
class QTableView;

namespace doz {

class DispositionModel;
class FindingListPanel;

class ExportWindow : public QWidget, public WindowPort {
    Q_OBJECT
public:
    // Builds the window and runs FormCreate; FormShow runs on the first showing.
    explicit ExportWindow(FormPaths paths, QWidget* parent = nullptr);
    ~ExportWindow() override;

    TfmPzExport_Banche& form() { return *form_; }
    QTableView* grid() const { return grid_; }
    DispositionModel* gridModel() const { return model_; }

    // What hands a folder or a file to the desktop; by default (or when set to
    // nothing) xdg-open, which tells the user where the file is when it fails.
    // Replaceable so that a test starts nothing.
    using DesktopOpener = std::function<void(const std::string& path)>;
    void setDesktopOpener(DesktopOpener opener) { desktopOpener_ = std::move(opener); }

    // ---- WindowPort --------------------------------------------------------------
    std::vector<ComponentInfo> components() const override;
    std::optional<ComponentInfo> findComponent(std::string_view name) const override;
    bool isVisible(std::string_view name) const override;
    void setVisible(std::string_view name, bool visible) override;
    bool isEnabled(std::string_view name) const override;
    void setEnabled(std::string_view name, bool enabled) override;
    std::string text(std::string_view name) const override;
    void setText(std::string_view name, const std::string& text) override;
    DaySerial date(std::string_view name) const override;
    void setDate(std::string_view name, DaySerial date) override;
    std::vector<std::string> items(std::string_view name) const override;
    void addItem(std::string_view name, const std::string& item) override;
    int selectedIndex(std::string_view name) const override;
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
    WindowPlacement placement() const override;
    void setPlacement(const WindowPlacement& placement) override;
    // Brings the window forward (a second start on the same main folder).
    void comeForward();
    void openWithDesktop(const std::string& path) override;
    void showList(const FindingList& list, std::function<void(int key)> onPick) override;

    // The list Controlla or Storico shows, while it is open beside the grid; nothing when closed.
    FindingListPanel* findingList() const;

    // The widget's own members of the same names stay reachable beside the port's
    // (close() is the port's: it closes the window all the same).
    using QWidget::setVisible;
    using QWidget::isVisible;
    using QWidget::isEnabled;
    using QWidget::setEnabled;
    using QWidget::setCursor;

signals:
    // The window was closed (Chiudi, Esc, its close box, or the end of OK):
    // the program ends.
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Entry {
        ComponentInfo info;
        QWidget* widget;
    };

    void buildTopPanel(QWidget* panel);
    void buildBottomPanel(QWidget* panel);
    void wireHandlers();
    void followCurrentRow(int row);
    void reportNotOpened(const QString& path);
    void gridRowChosen(const QModelIndex& current);
    void openFindingList();
    void findingListClosed();
    void saveFindingList(const std::string& textForm, const std::string& name);
    // Runs a box over the window; the focus goes back where it was.
    int execBox(QMessageBox& box);

    QWidget* add(QWidget* widget, const char* name, ComponentKind kind, const char* parent,
                 const char* focusControl = "");
    const Entry* lookUp(std::string_view name) const;
    const Entry& get(std::string_view name) const;
    const Entry& getKind(std::string_view name, std::initializer_list<ComponentKind> kinds) const;
    template <class W>
    W* widget(const char* name) const;

    std::vector<Entry> entries_;
    QTableView* grid_ = nullptr;
    DispositionModel* model_ = nullptr;
    DesktopOpener desktopOpener_;
    QSplitter* centre_ = nullptr;        // the grid and, when open, the list of Controlla
    FindingListPanel* findingList_ = nullptr;
    int widenedBy_ = 0;                  // what opening the list added to the window's width
    std::unique_ptr<TfmPzExport_Banche> form_;
    QWidget* leftByClick_ = nullptr;  // the exit edit a button press has already left
    bool shown_ = false;
    bool tearingDown_ = false;
    bool movingTable_ = false;     // the grid is moving the table's cursor
    bool followingTable_ = false;  // the grid is following the table's cursor
};

}  // namespace doz
