#include "qt/ExportWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFocusEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QKeyEvent>
#include <QCloseEvent>
#include <QShowEvent>
#include <QSplitter>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>

#include "platform/Ansi.h"
#include "platform/Error.h"
#include "qt/BrowseEdit.h"
#include "qt/DateEdit.h"
#include "qt/DispositionModel.h"
#include "qt/FindingListPanel.h"
#include "qt/Italian.h"
#include "platform/Files.h"

namespace doz {

namespace {

const char kTopPanel[] = "pnlTesta";
const char kBottomPanel[] = "Panel1";
const char kPanelCaption[] = "dozCaption";  // property holding a panel's caption
const int kColumnPadding = 20;  // a grid cell's or title's margins and sort mark room
// A file name built from a 20-character support name and the date.
const char kLongestFileName[] = "STIPENDI DICEMBRE 2020261231.Txt";

QString fromAnsi(const std::string& text) { return QString::fromStdString(ansiToUtf8(text)); }
std::string toAnsi(const QString& text) { return utf8ToAnsi(text.toStdString()); }

std::string lowerAscii(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The Alt shortcut of each control that has one: the caption with '&' before
// the letter. The captions the logic reads and sets are without it.
struct Mnemonic {
    const char* name;
    const char* caption;
};
constexpr Mnemonic kMnemonics[] = {
    {"Label1", "&Banca"},
    {"Label2", "Codice &SIA"},
    {"laNuomeSupporto", "&Nome supporto"},
    {"Label11", "&CC ordinante"},
    {"Label10", "Conto &tesoreria"},
    {"laCUC", "Codice C&UC"},
    {"Label3", "Data cr&eazione"},
    {"Label5", "Esecuzione dis&posizione"},
    {"Label6", "&Valuta"},
    {"Label8", "Scaden&za"},
    {"Label7", "&File export"},
    {"Button2", "&OK"},
    {"btnChiudi", "C&hiudi"},
    // On two lines: the bottom panel's row then has room for every command.
    {"chEscludiMPG", "Escludi dipendenti con &modalit\xE0\ndi pagamento non accettate"},
    {"Button1", "B&rogliaccio"},
    {"Button3", "&Distinta"},
    {"btnControlla", "Contro&lla"},
    {"buLog", "Lo&g"},
    {"btnStorico", "Stor&ico"},
};

QString withMnemonic(const char* name, const QString& caption) {
    for (const Mnemonic& m : kMnemonics)
        if (std::string_view(m.name) == name) return fromAnsi(m.caption);
    return caption;
}

// A caption as the user reads it: without the shortcut's '&' ("&&" is one '&').
QString withoutMnemonic(QString caption) {
    caption.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    caption.remove(QLatin1Char('&'));
    caption.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return caption;
}

QString escapeMnemonic(QString caption) { return caption.replace(QLatin1Char('&'), QStringLiteral("&&")); }

QLabel* makeLabel(const char* caption, QWidget* parent) {
    auto* label = new QLabel(fromAnsi(caption), parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// An edit's limit of characters, for typing only: the user cannot make the text
// longer than the limit, or than a longer text the program put there (which is
// shown and used whole; the user may still shorten it).
class TypingLimit : public QValidator {
public:
    TypingLimit(int limit, QLineEdit* edit) : QValidator(edit), limit_(limit), allowed_(limit) {
        QObject::connect(edit, &QLineEdit::textEdited, this,
                         [this](const QString& text) { allowed_ = std::max<qsizetype>(limit_, text.size()); });
    }
    void allowAtLeast(qsizetype length) { allowed_ = std::max<qsizetype>(limit_, length); }
    State validate(QString& input, int&) const override { return input.size() <= allowed_ ? Acceptable : Invalid; }

private:
    qsizetype limit_;
    qsizetype allowed_;
};

// A control whose place stays taken while the transfer rules hide it.
template <class W>
W* keepPlace(W* w) {
    QSizePolicy p = w->sizePolicy();
    p.setRetainSizeWhenHidden(true);
    w->setSizePolicy(p);
    return w;
}

}  // namespace

// ---- building ------------------------------------------------------------------------

ExportWindow::ExportWindow(FormPaths paths, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("fmPzExport_Banche"));
    setWindowTitle(QStringLiteral("Creazione file per la banca"));

    auto* top = new QFrame(this);
    top->setFrameShape(QFrame::StyledPanel);
    top->setFrameShadow(QFrame::Raised);
    top->setFixedHeight(121);
    auto* bottom = new QFrame(this);
    bottom->setFrameShape(QFrame::StyledPanel);
    bottom->setFrameShadow(QFrame::Raised);
    bottom->setFixedHeight(41);

    // Components are registered in the order the logic enumerates them: each
    // panel, then its controls in tab order, then its labels; the grid last.
    add(top, kTopPanel, ComponentKind::Panel, "");
    buildTopPanel(top);
    add(bottom, kBottomPanel, ComponentKind::Panel, "");
    buildBottomPanel(bottom);

    // The centre: the grid, and beside it the list of Controlla while it is open.
    centre_ = new QSplitter(Qt::Horizontal, this);
    centre_->setChildrenCollapsible(false);
    grid_ = new QTableView(centre_);
    add(grid_, "dbgDisp", ComponentKind::Grid, "");
    findingList_ = new FindingListPanel(
        [this](const FindingList& list) { saveFindingList(list.textForm, list.saveName); }, centre_);
    centre_->addWidget(grid_);
    centre_->addWidget(findingList_);
    centre_->setStretchFactor(0, 0);
    centre_->setStretchFactor(1, 1);
    findingList_->hide();
    connect(findingList_, &FindingListPanel::closed, this, &ExportWindow::findingListClosed);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(top);
    column->addWidget(centre_, 1);
    column->addWidget(bottom);

    // Tab order: the header controls, the grid, then the commands.
    const char* const order[] = {"cbBanche",         "edMittente",     "edNOME_SUPPORTO",     "edCC_ORDINANTE",
                                 "edConto_Tesoreria", "edCUC",            "deData_Creazione", "deData_Disposizione", "deData_Valuta",
                                 "deDATA_SCADENZA",  "cbBancaFile",    "dbgDisp",             "Button2",
                                 "btnChiudi",        "chEscludiMPG",   "Button1",             "Button3",
                                 "btnControlla",     "buLog",          "btnStorico"};
    for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(get(order[i - 1]).widget, get(order[i]).widget);

    resize(934, 480);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

    form_ = std::make_unique<TfmPzExport_Banche>(*this, std::move(paths));

    model_ = new DispositionModel(form_->state().cdsDisp, this);
    grid_->setModel(model_);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setShowGrid(true);
    grid_->setWordWrap(false);
    grid_->setTabKeyNavigation(false);  // Tab leaves the grid for the next control
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    grid_->horizontalHeader()->setHighlightSections(false);
    grid_->horizontalHeader()->setMinimumSectionSize(8);
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 4);
    grid_->verticalHeader()->setMinimumWidth(16);
    const std::vector<int> widths = DispositionModel::columnWidths(
        grid_->fontMetrics(), QFontMetrics(grid_->horizontalHeader()->font()), kColumnPadding);
    for (std::size_t i = 0; i < widths.size(); ++i) grid_->setColumnWidth(static_cast<int>(i), widths[i]);
    connect(model_, &DispositionModel::currentRowMoved, this, &ExportWindow::followCurrentRow);
    connect(grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { gridRowChosen(current); });

    wireHandlers();
    form_->FormCreate();
}

ExportWindow::~ExportWindow() {
    tearingDown_ = true;
    for (const char* name : {"edNOME_SUPPORTO", "edCC_ORDINANTE"}) get(name).widget->removeEventFilter(this);
    // The grid lets go of the table before the window's state goes away.
    model_->detach();
    grid_->setModel(nullptr);
    delete model_;
    model_ = nullptr;
    form_.reset();
}

void ExportWindow::buildTopPanel(QWidget* panel) {
    auto* banks = new QComboBox(panel);
    banks->setEditable(false);
    banks->setMinimumWidth(150);
    add(banks, "cbBanche", ComponentKind::List, kTopPanel);

    auto edit = [&](const char* name, int maxLength, int width) {
        auto* e = keepPlace(new QLineEdit(panel));
        e->setValidator(new TypingLimit(maxLength, e));
        e->setMinimumWidth(width);
        add(e, name, ComponentKind::Edit, kTopPanel);
        return e;
    };
    edit("edMittente", 10, 100);
    edit("edNOME_SUPPORTO", 20, 150)->installEventFilter(this);
    edit("edCC_ORDINANTE", 20, 150)->installEventFilter(this);
    edit("edConto_Tesoreria", 7, 80);
    edit("edCUC", 35, 100);

    for (const char* name : {"deData_Creazione", "deData_Disposizione", "deData_Valuta", "deDATA_SCADENZA"}) {
        auto* d = keepPlace(new DateEdit(panel));
        d->setMinimumWidth(d->fontMetrics().horizontalAdvance(QStringLiteral("00/00/00000")) + 32);
        add(d, name, ComponentKind::DateEdit, kTopPanel);
    }
    auto* file = keepPlace(new BrowseEdit(panel));
    // Room for a file name built from the longest support name and the date.
    file->setMinimumWidth(file->fontMetrics().horizontalAdvance(QString(kLongestFileName)) + 48);
    add(file, "cbBancaFile", ComponentKind::BrowseEdit, kTopPanel);

    struct LabelDef {
        const char* name;
        const char* caption;
        const char* focusControl;
    };
    const LabelDef labels[] = {
        {"Label1", "Banca", ""},
        {"Label2", "Codice SIA", "edMittente"},
        {"laNuomeSupporto", "Nome supporto", "edNOME_SUPPORTO"},
        {"Label11", "CC ordinante", "edCC_ORDINANTE"},
        {"Label10", "Conto tesoreria", "edConto_Tesoreria"},
        {"laCUC", "Codice CUC", "edCUC"},
        {"Label3", "Data creazione", "deData_Creazione"},
        {"Label5", "Esecuzione disposizione", "deData_Disposizione"},
        {"Label6", "Valuta", "deData_Valuta"},
        {"Label8", "Scadenza", "deDATA_SCADENZA"},
        {"Label7", "File export", ""},
    };
    for (const LabelDef& l : labels) {
        QLabel* label = keepPlace(makeLabel(l.caption, panel));
        add(label, l.name, ComponentKind::Label, kTopPanel, l.focusControl);
        if (*l.focusControl) label->setBuddy(get(l.focusControl).widget);
        label->setText(withMnemonic(l.name, label->text()));
    }

    // "Banca" and "File export" name no focus control, but their shortcuts reach the controls under them.
    static_cast<QLabel*>(get("Label1").widget)->setBuddy(banks);
    static_cast<QLabel*>(get("Label7").widget)->setBuddy(file);

    // Two rows of captions over their controls.
    auto* g = new QGridLayout(panel);
    g->setContentsMargins(8, 6, 8, 6);
    g->setHorizontalSpacing(10);
    g->setVerticalSpacing(2);
    const char* const rows[2][5][2] = {
        {{"Label1", "cbBanche"},
         {"Label2", "edMittente"},
         {"laNuomeSupporto", "edNOME_SUPPORTO"},
         {"Label11", "edCC_ORDINANTE"},
         {"Label10", "edConto_Tesoreria"}},
        {{"Label3", "deData_Creazione"},
         {"Label5", "deData_Disposizione"},
         {"Label6", "deData_Valuta"},
         {"Label8", "deDATA_SCADENZA"},
         {"Label7", "cbBancaFile"}},
    };
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 5; ++c) {
            const int span = (r == 1 && c == 4) ? 3 : 1;  // the file widens with the window
            g->addWidget(get(rows[r][c][0]).widget, r * 3, c, 1, span, Qt::AlignLeft | Qt::AlignBottom);
            g->addWidget(get(rows[r][c][1]).widget, r * 3 + 1, c, 1, span);
        }
    }
    // The company's CUC, asked only by the XML banks, closes the first row.
    g->addWidget(get("laCUC").widget, 0, 5, 1, 1, Qt::AlignLeft | Qt::AlignBottom);
    g->addWidget(get("edCUC").widget, 1, 5);
    g->setRowMinimumHeight(2, 6);
    g->setColumnStretch(6, 1);
}

void ExportWindow::buildBottomPanel(QWidget* panel) {
    auto button = [&](const char* name, const char* caption) {
        auto* b = new QPushButton(withMnemonic(name, QString::fromLatin1(caption)), panel);
        b->setAutoDefault(true);  // Enter presses the focused button
        // As wide as the caption needs: the style's wider default would push the
        // row past the window's width.
        b->setFixedWidth(std::max(56, b->fontMetrics().horizontalAdvance(withoutMnemonic(b->text())) + 24));
        add(b, name, ComponentKind::Button, kBottomPanel);
        return b;
    };
    QPushButton* ok = button("Button2", "OK");
    QPushButton* close = button("btnChiudi", "Chiudi");
    auto* exclude = new QCheckBox(withMnemonic("chEscludiMPG", QString()), panel);
    exclude->setChecked(true);
    add(exclude, "chEscludiMPG", ComponentKind::CheckBox, kBottomPanel);
    QPushButton* draft = button("Button1", "Brogliaccio");
    QPushButton* summary = button("Button3", "Distinta");
    QPushButton* check = button("btnControlla", "Controlla");
    QPushButton* log = button("buLog", "Log");
    log->setVisible(false);
    log->setEnabled(false);
    QPushButton* history = button("btnStorico", "Storico");

    QFont bold = panel->font();
    bold.setBold(true);
    QLabel* total = makeLabel("Totale disposizioni", panel);
    QLabel* count = makeLabel("0", panel);
    total->setFont(bold);
    count->setFont(bold);
    add(total, "Label9", ComponentKind::Label, kBottomPanel);
    add(count, "laDisp", ComponentKind::Label, kBottomPanel);

    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(6, 4, 6, 4);
    row->setSpacing(4);
    row->addWidget(exclude);
    row->addSpacing(6);
    row->addWidget(total);
    row->addWidget(count);
    row->addStretch(1);
    // The files already produced come first, then the month's work.
    for (QPushButton* b : {history, check, summary, draft, log, ok, close}) row->addWidget(b);
}

void ExportWindow::wireHandlers() {
    auto onClick = [this](const char* name, void (TfmPzExport_Banche::*handler)()) {
        connect(static_cast<QAbstractButton*>(get(name).widget), &QAbstractButton::clicked, this,
                [this, handler] { (form_.get()->*handler)(); });
    };
    onClick("Button2", &TfmPzExport_Banche::Button2Click);
    onClick("Button3", &TfmPzExport_Banche::Button3Click);
    onClick("Button1", &TfmPzExport_Banche::Button1Click);
    onClick("btnControlla", &TfmPzExport_Banche::btnControllaClick);
    onClick("buLog", &TfmPzExport_Banche::buLogClick);
    onClick("btnStorico", &TfmPzExport_Banche::btnStoricoClick);
    onClick("btnChiudi", &TfmPzExport_Banche::btnChiudiClick);
    onClick("chEscludiMPG", &TfmPzExport_Banche::chEscludiMPGClick);

    // Only a choice made by the user selects a bank; setting the index from the logic does not.
    connect(widget<QComboBox>("cbBanche"), &QComboBox::activated, this, [this] { form_->cbBancheClick(); });
    connect(widget<BrowseEdit>("cbBancaFile"), &BrowseEdit::buttonClicked, this,
            [this] { form_->cbBancaFileButtonClick(); });

    // A press on a button that takes no focus (a calendar, the file's ellipsis)
    // is leaving the edit all the same.
    for (const char* name : {"deData_Creazione", "deData_Disposizione", "deData_Valuta", "deDATA_SCADENZA"})
        widget<DateEdit>(name)->button()->installEventFilter(this);
    widget<BrowseEdit>("cbBancaFile")->button()->installEventFilter(this);
    for (const char* name : {"edNOME_SUPPORTO", "edCC_ORDINANTE"})
        connect(widget<QLineEdit>(name), &QLineEdit::textEdited, this, [this] { leftByClick_ = nullptr; });
}

// Esc that reaches the window itself presses Chiudi. An open list, calendar or
// other pop-up is a window of its own: its Esc closes it and never arrives here.
void ExportWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && !QApplication::activePopupWidget()) {
        auto* chiudi = widget<QPushButton>("btnChiudi");
        if (chiudi->isEnabled()) chiudi->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ExportWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (!event->isAccepted()) return;
    if (form_) form_->FormClose();
    emit closed();
}

WindowPlacement ExportWindow::placement() const {
    // The place of the window as it is when not maximized, and whether it is.
    const QRect normal = isMaximized() ? normalGeometry() : QRect(pos(), size());
    return WindowPlacement{normal.x(), normal.y(), normal.width(), normal.height(), isMaximized()};
}

// A place kept from an earlier start is taken only where most of the window
// lands on a screen of today (a screen since removed, a smaller one).
void ExportWindow::setPlacement(const WindowPlacement& p) {
    const QRect wanted(p.x, p.y, p.width, p.height);
    bool onScreen = false;
    for (const QScreen* s : QGuiApplication::screens()) {
        const QRect common = s->availableGeometry().intersected(wanted);
        if (common.width() >= std::min(wanted.width(), 200) && common.height() >= std::min(wanted.height(), 100))
            onScreen = true;
    }
    if (!onScreen) return;
    resize(wanted.size());
    move(wanted.topLeft());
    if (p.maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

void ExportWindow::comeForward() {
    if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void ExportWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_ || event->spontaneous()) return;
    shown_ = true;
    form_->FormShow();
}

// Leaving the support name or the ordering account for another control of the
// window rebuilds the file name; the window losing activation, or a menu or
// pop-up taking the focus, is no leaving. The calendar buttons and the file's
// ellipsis take no focus: a press on one of them leaves the edit too, once
// (the edit keeps the focus, so a later move elsewhere does not leave it again
// unless it was typed in meanwhile).
bool ExportWindow::eventFilter(QObject* watched, QEvent* event) {
    if (tearingDown_ || !form_) return QWidget::eventFilter(watched, event);
    QWidget* support = get("edNOME_SUPPORTO").widget;
    QWidget* account = get("edCC_ORDINANTE").widget;
    const bool exitEdit = watched == support || watched == account;
    if (event->type() == QEvent::FocusIn && exitEdit) {
        leftByClick_ = nullptr;
    } else if (event->type() == QEvent::FocusOut && exitEdit) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && leftByClick_ != watched)
            form_->edNOME_SUPPORTOExit();
        leftByClick_ = nullptr;
    } else if (event->type() == QEvent::MouseButtonPress && !exitEdit) {
        QWidget* focused = QApplication::focusWidget();
        if ((focused == support || focused == account) && leftByClick_ != focused) {
            leftByClick_ = focused;
            form_->edNOME_SUPPORTOExit();
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- the grid and the table's cursor ---------------------------------------------------

void ExportWindow::followCurrentRow(int row) {
    if (movingTable_) return;
    followingTable_ = true;
    QItemSelectionModel* selection = grid_->selectionModel();
    if (row < 0) {
        selection->clear();
    } else {
        const QModelIndex index = model_->index(row, std::max(0, grid_->currentIndex().column()));
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        grid_->scrollTo(index);
    }
    followingTable_ = false;
}

// A row the user picks in the grid becomes the table's current row.
void ExportWindow::gridRowChosen(const QModelIndex& current) {
    if (followingTable_) return;
    Table& table = form_->state().cdsDisp;
    if (!current.isValid() || !table.active() || table.state() != TableState::Browse) return;
    if (current.row() == table.recNo() || current.row() >= table.viewCount()) return;
    movingTable_ = true;
    try {
        table.first();
        for (int i = 0; i < current.row() && !table.eof(); ++i) table.next();
    } catch (const std::exception&) {
        // The grid only mirrors the table; a table that cannot move stays where it is.
    }
    movingTable_ = false;
}

// ---- components ---------------------------------------------------------------------------

QWidget* ExportWindow::add(QWidget* widget, const char* name, ComponentKind kind, const char* parent,
                           const char* focusControl) {
    widget->setObjectName(QString::fromLatin1(name));
    entries_.push_back(Entry{ComponentInfo{name, kind, parent, focusControl}, widget});
    return widget;
}

const ExportWindow::Entry* ExportWindow::lookUp(std::string_view name) const {
    const std::string wanted = lowerAscii(name);
    for (const Entry& e : entries_)
        if (lowerAscii(e.info.name) == wanted) return &e;
    return nullptr;
}

const ExportWindow::Entry& ExportWindow::get(std::string_view name) const {
    const Entry* e = lookUp(name);
    if (!e) throw AssertionFailure();
    return *e;
}

const ExportWindow::Entry& ExportWindow::getKind(std::string_view name,
                                                 std::initializer_list<ComponentKind> kinds) const {
    const Entry& e = get(name);
    if (std::find(kinds.begin(), kinds.end(), e.info.kind) == kinds.end()) throw AssertionFailure();
    return e;
}

template <class W>
W* ExportWindow::widget(const char* name) const {
    return static_cast<W*>(get(name).widget);
}

std::vector<ComponentInfo> ExportWindow::components() const {
    std::vector<ComponentInfo> out;
    out.reserve(entries_.size());
    for (const Entry& e : entries_) out.push_back(e.info);
    return out;
}

std::optional<ComponentInfo> ExportWindow::findComponent(std::string_view name) const {
    const Entry* e = lookUp(name);
    if (!e) return std::nullopt;
    return e->info;
}

// A control's own visibility and enabled state, whether or not the window is on screen.
bool ExportWindow::isVisible(std::string_view name) const { return get(name).widget->isVisibleTo(this); }
void ExportWindow::setVisible(std::string_view name, bool visible) { get(name).widget->setVisible(visible); }
bool ExportWindow::isEnabled(std::string_view name) const { return get(name).widget->isEnabledTo(this); }
void ExportWindow::setEnabled(std::string_view name, bool enabled) { get(name).widget->setEnabled(enabled); }

// ---- texts and values ------------------------------------------------------------------------

namespace {
constexpr std::initializer_list<ComponentKind> kTextKinds = {
    ComponentKind::Edit,   ComponentKind::BrowseEdit, ComponentKind::Label,
    ComponentKind::Button, ComponentKind::CheckBox,   ComponentKind::Panel,
};

QLineEdit* lineEditOf(const QWidget* w, ComponentKind kind) {
    if (kind == ComponentKind::BrowseEdit) return static_cast<const BrowseEdit*>(w)->lineEdit();
    return const_cast<QLineEdit*>(static_cast<const QLineEdit*>(w));
}
}  // namespace

std::string ExportWindow::text(std::string_view name) const {
    if (name.empty()) return toAnsi(windowTitle());
    const Entry& e = getKind(name, kTextKinds);
    switch (e.info.kind) {
        case ComponentKind::Edit:
        case ComponentKind::BrowseEdit: return toAnsi(lineEditOf(e.widget, e.info.kind)->text());
        case ComponentKind::Label: {
            auto* label = static_cast<QLabel*>(e.widget);
            return toAnsi(label->buddy() ? withoutMnemonic(label->text()) : label->text());
        }
        case ComponentKind::Button:
        case ComponentKind::CheckBox:
            return toAnsi(
                withoutMnemonic(static_cast<QAbstractButton*>(e.widget)->text()).replace(QLatin1Char('\n'), QLatin1Char(' ')));
        default: return toAnsi(e.widget->property(kPanelCaption).toString());
    }
}

// A text set in an edit is kept whole, whatever the edit's typing limit.
void ExportWindow::setText(std::string_view name, const std::string& text) {
    if (name.empty()) {
        setWindowTitle(fromAnsi(text));
        return;
    }
    const Entry& e = getKind(name, kTextKinds);
    const QString value = fromAnsi(text);
    switch (e.info.kind) {
        case ComponentKind::Edit:
        case ComponentKind::BrowseEdit: {
            QLineEdit* edit = lineEditOf(e.widget, e.info.kind);
            if (auto* limit = dynamic_cast<const TypingLimit*>(edit->validator()))
                const_cast<TypingLimit*>(limit)->allowAtLeast(value.size());
            edit->setText(value);
            break;
        }
        case ComponentKind::Label: {
            auto* label = static_cast<QLabel*>(e.widget);
            label->setText(label->buddy() ? escapeMnemonic(value) : value);
            break;
        }
        case ComponentKind::Button:
        case ComponentKind::CheckBox: static_cast<QAbstractButton*>(e.widget)->setText(escapeMnemonic(value)); break;
        default: e.widget->setProperty(kPanelCaption, value); break;
    }
}

// A text that is no date is not read as "no date": the command stops with the
// same message the edit gives when it is left.
DaySerial ExportWindow::date(std::string_view name) const {
    const auto* edit = static_cast<DateEdit*>(getKind(name, {ComponentKind::DateEdit}).widget);
    if (!edit->hasValidText()) throw Error(toAnsi(edit->invalidTextMessage()));
    return edit->date();
}

void ExportWindow::setDate(std::string_view name, DaySerial date) {
    static_cast<DateEdit*>(getKind(name, {ComponentKind::DateEdit}).widget)->setDate(date);
}

std::vector<std::string> ExportWindow::items(std::string_view name) const {
    auto* list = static_cast<QComboBox*>(getKind(name, {ComponentKind::List}).widget);
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(list->count()));
    for (int i = 0; i < list->count(); ++i) out.push_back(toAnsi(list->itemText(i)));
    return out;
}

// Adding an item never selects it (a list starts with no selection).
void ExportWindow::addItem(std::string_view name, const std::string& item) {
    auto* list = static_cast<QComboBox*>(getKind(name, {ComponentKind::List}).widget);
    const int before = list->currentIndex();
    list->addItem(fromAnsi(item));
    // The list is as wide as its longest name (and the arrow).
    list->setMinimumWidth(std::max(list->minimumWidth(), list->fontMetrics().horizontalAdvance(fromAnsi(item)) + 40));
    if (list->currentIndex() != before) list->setCurrentIndex(before);
}

int ExportWindow::selectedIndex(std::string_view name) const {
    return static_cast<QComboBox*>(getKind(name, {ComponentKind::List}).widget)->currentIndex();
}

void ExportWindow::setSelectedIndex(std::string_view name, int index) {
    auto* list = static_cast<QComboBox*>(getKind(name, {ComponentKind::List}).widget);
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

bool ExportWindow::isChecked(std::string_view name) const {
    return static_cast<QCheckBox*>(getKind(name, {ComponentKind::CheckBox}).widget)->isChecked();
}

void ExportWindow::setChecked(std::string_view name, bool checked) {
    static_cast<QCheckBox*>(getKind(name, {ComponentKind::CheckBox}).widget)->setChecked(checked);
}

// ---- the user -------------------------------------------------------------------------------------

// The hourglass covers the whole application; the default cursor takes back
// every override, whatever was shown before.
void ExportWindow::setCursor(CursorShape shape) {
    if (shape == CursorShape::HourGlass) {
        if (QApplication::overrideCursor())
            QApplication::changeOverrideCursor(QCursor(Qt::WaitCursor));
        else
            QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        return;
    }
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

// The focus goes back to the control that had it in this window (also when a
// dialog closed just before left no control focused).
int ExportWindow::execBox(QMessageBox& box) {
    QWidget* had = QApplication::focusWidget();
    if (!had || had->window() != this) had = focusWidget();
    const QPointer<QWidget> focus = had;
    const int answer = box.exec();
    if (focus && focus->isVisible()) {
        focus->activateWindow();
        focus->setFocus(Qt::OtherFocusReason);
    }
    return answer;
}

bool ExportWindow::askYesNo(const std::string& question) {
    // A question in the middle of a walk (the grid not following it) is about
    // the row where the walk stands: the grid shows it.
    if (form_ && form_->state().cdsDisp.controlsDisabled()) model_->resync();
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kBoxTitle), fromAnsi(question),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return execBox(box) == QMessageBox::Yes;
}

void ExportWindow::showError(const std::string& message) {
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kBoxTitle), fromAnsi(message), QMessageBox::Ok, this);
    execBox(box);
}

void ExportWindow::showMessage(const std::string& message) {
    QMessageBox box(QMessageBox::Information, QString::fromLatin1(kBoxTitle), fromAnsi(message), QMessageBox::Ok,
                    this);
    execBox(box);
}

std::optional<std::string> ExportWindow::runSaveDialog(const std::string& initialFile) {
    const QString chosen = QFileDialog::getSaveFileName(this, QStringLiteral("Salva il file per la banca"),
                                                        fromAnsi(initialFile), QString(), nullptr,
                                                        QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty()) return std::nullopt;
    return toAnsi(chosen);
}

std::optional<std::string> ExportWindow::runFolderDialog(const std::string& title, const std::string& initialFolder) {
    const QString chosen = QFileDialog::getExistingDirectory(this, fromAnsi(title), fromAnsi(initialFolder));
    if (chosen.isEmpty()) return std::nullopt;
    return toAnsi(chosen);
}

void ExportWindow::close() { QWidget::close(); }

FindingListPanel* ExportWindow::findingList() const {
    return findingList_->isVisibleTo(this) ? findingList_ : nullptr;
}

void ExportWindow::showList(const FindingList& list, std::function<void(int key)> onPick) {
    findingList_->setList(list, std::move(onPick));
    openFindingList();
}

// The list opens beside the grid, the window growing by the list's width as
// far as the screen allows, so that the grid keeps its room; closing the list
// gives that width back.
void ExportWindow::openFindingList() {
    if (findingList_->isVisibleTo(this)) return;
    const int before = width();
    const int wanted = std::max(560, before * 17 / 20);
    widenedBy_ = 0;
    const QScreen* s = screen();
    if (s && !isMaximized() && !isFullScreen()) {
        const QRect area = s->availableGeometry();
        const int width = std::min(before + wanted, std::max(before, area.width()));
        widenedBy_ = width - before;
        if (widenedBy_ > 0) {
            QRect g = geometry();
            g.setWidth(width);
            if (g.right() > area.right()) g.moveRight(area.right());
            if (g.left() < area.left()) g.moveLeft(area.left());
            setGeometry(g);
        }
    }
    findingList_->show();
    const int total = centre_->width() + widenedBy_;
    const int list = total * 3 / 5;
    centre_->setSizes({std::max(1, total - list), list});
}

void ExportWindow::findingListClosed() {
    if (widenedBy_ > 0 && !isMaximized() && !isFullScreen()) resize(std::max(minimumWidth(), width() - widenedBy_), height());
    widenedBy_ = 0;
    grid_->setFocus(Qt::OtherFocusReason);
}

// The list is saved through a save dialog without the overwrite question of
// the bank file: the text file is the user's own copy.
void ExportWindow::saveFindingList(const std::string& textForm, const std::string& name) {
    const QString chosen = QFileDialog::getSaveFileName(this, QStringLiteral("Salva l'elenco"),
                                                        name.empty() ? QStringLiteral("Elenco.txt") : fromAnsi(name));
    if (chosen.isEmpty()) return;
    try {
        writeFileAtomically(toAnsi(chosen), textForm);
    } catch (const std::exception& e) {
        showError(e.what());
    }
}

void ExportWindow::openWithDesktop(const std::string& path) {
    if (desktopOpener_) {
        desktopOpener_(path);
        return;
    }
    // xdg-open runs on its own; when it cannot start or ends with an error, the
    // user learns where the file is. The process object is nobody's child, so
    // that closing the window does not end the program xdg-open started.
    auto* process = new QProcess();
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    const QPointer<ExportWindow> self(this);
    const QString shown = fromAnsi(path);
    auto failed = [self, shown] {
        if (self) self->reportNotOpened(shown);
    };
    connect(process, &QProcess::errorOccurred, process, [process, failed](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        failed();
        process->deleteLater();
    });
    connect(process, &QProcess::finished, process, [process, failed](int code, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit || code != 0) failed();
        process->deleteLater();
    });
    process->start(QStringLiteral("xdg-open"), {shown});
}

void ExportWindow::reportNotOpened(const QString& path) {
    const bool folder = path.endsWith(QLatin1Char('/')) || directoryExists(toAnsi(path));
    const QString text = folder ? QStringLiteral("Impossibile aprire la cartella con il programma del desktop.\n"
                                                 "La cartella \u00E8:\n%1")
                                : QStringLiteral("Impossibile aprire il file con il programma del desktop.\n"
                                                 "Il file \u00E8 stato scritto in:\n%1");
    QMessageBox box(QMessageBox::Information, QString::fromLatin1(kBoxTitle), text.arg(path), QMessageBox::Ok, this);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    execBox(box);
}

}  // namespace doz
