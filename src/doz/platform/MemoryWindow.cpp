#include "platform/MemoryWindow.h"

#include <algorithm>

#include "platform/Error.h"

namespace doz {

namespace {

const char kTopPanel[] = "pnlTesta";
const char kBottomPanel[] = "Panel1";

std::string lowerAscii(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace

// Components in the order the window creates them: each panel, then its
// controls in tab order, then its labels; the grid last.
MemoryWindow::MemoryWindow() : caption_("Creazione file per la banca") {
    using K = ComponentKind;

    add(kTopPanel, K::Panel, "");
    add("cbBanche", K::List, kTopPanel);
    add("edMittente", K::Edit, kTopPanel).maxLength = 10;
    add("edNOME_SUPPORTO", K::Edit, kTopPanel).maxLength = 20;
    add("edCC_ORDINANTE", K::Edit, kTopPanel).maxLength = 20;
    add("edConto_Tesoreria", K::Edit, kTopPanel).maxLength = 7;
    add("edCUC", K::Edit, kTopPanel).maxLength = 35;
    add("deData_Creazione", K::DateEdit, kTopPanel);
    add("deData_Disposizione", K::DateEdit, kTopPanel);
    add("deData_Valuta", K::DateEdit, kTopPanel);
    add("deDATA_SCADENZA", K::DateEdit, kTopPanel);
    add("cbBancaFile", K::BrowseEdit, kTopPanel);

    add("Label1", K::Label, kTopPanel, "Banca");
    add("Label2", K::Label, kTopPanel, "Codice SIA", "edMittente");
    add("laNuomeSupporto", K::Label, kTopPanel, "Nome supporto", "edNOME_SUPPORTO");
    add("Label11", K::Label, kTopPanel, "CC ordinante", "edCC_ORDINANTE");
    add("Label10", K::Label, kTopPanel, "Conto tesoreria", "edConto_Tesoreria");
    add("laCUC", K::Label, kTopPanel, "Codice CUC", "edCUC");
    add("Label3", K::Label, kTopPanel, "Data creazione", "deData_Creazione");
    add("Label5", K::Label, kTopPanel, "Esecuzione disposizione", "deData_Disposizione");
    add("Label6", K::Label, kTopPanel, "Valuta", "deData_Valuta");
    add("Label8", K::Label, kTopPanel, "Scadenza", "deDATA_SCADENZA");
    add("Label7", K::Label, kTopPanel, "File export");

    add(kBottomPanel, K::Panel, "");
    add("Button2", K::Button, kBottomPanel, "OK");
    add("btnChiudi", K::Button, kBottomPanel, "Chiudi");
    add("chEscludiMPG", K::CheckBox, kBottomPanel,
        "Escludi dipendenti con modalit\xE0 di pagamento non accettate")
        .checked = true;
    add("Button1", K::Button, kBottomPanel, "Brogliaccio");
    add("Button3", K::Button, kBottomPanel, "Distinta");
    add("btnControlla", K::Button, kBottomPanel, "Controlla");
    Component& log = add("buLog", K::Button, kBottomPanel, "Log");
    log.visible = false;
    log.enabled = false;
    add("btnStorico", K::Button, kBottomPanel, "Storico");
    add("Label9", K::Label, kBottomPanel, "Totale disposizioni");
    add("laDisp", K::Label, kBottomPanel, "0");

    add("dbgDisp", K::Grid, "");
}

MemoryWindow::Component& MemoryWindow::add(std::string name, ComponentKind kind, std::string parent,
                                           std::string text, std::string focusControl) {
    byLowerName_.emplace(lowerAscii(name), components_.size());
    Component c;
    c.info = ComponentInfo{std::move(name), kind, std::move(parent), std::move(focusControl)};
    c.text = std::move(text);
    components_.push_back(std::move(c));
    return components_.back();
}

const MemoryWindow::Component* MemoryWindow::lookUp(std::string_view name) const {
    auto it = byLowerName_.find(lowerAscii(name));
    return it == byLowerName_.end() ? nullptr : &components_[it->second];
}

const MemoryWindow::Component& MemoryWindow::get(std::string_view name) const {
    const Component* c = lookUp(name);
    if (!c) throw AssertionFailure();
    return *c;
}

MemoryWindow::Component& MemoryWindow::get(std::string_view name) {
    return const_cast<Component&>(std::as_const(*this).get(name));
}

const MemoryWindow::Component& MemoryWindow::getKind(std::string_view name,
                                                     std::initializer_list<ComponentKind> kinds) const {
    const Component& c = get(name);
    if (std::find(kinds.begin(), kinds.end(), c.info.kind) == kinds.end()) throw AssertionFailure();
    return c;
}

MemoryWindow::Component& MemoryWindow::getKind(std::string_view name, std::initializer_list<ComponentKind> kinds) {
    return const_cast<Component&>(std::as_const(*this).getKind(name, kinds));
}

// ---- components ------------------------------------------------------------------

std::vector<ComponentInfo> MemoryWindow::components() const {
    std::vector<ComponentInfo> out;
    out.reserve(components_.size());
    for (const Component& c : components_) out.push_back(c.info);
    return out;
}

std::optional<ComponentInfo> MemoryWindow::findComponent(std::string_view name) const {
    const Component* c = lookUp(name);
    if (!c) return std::nullopt;
    return c->info;
}

bool MemoryWindow::isVisible(std::string_view name) const { return get(name).visible; }
void MemoryWindow::setVisible(std::string_view name, bool visible) { get(name).visible = visible; }
bool MemoryWindow::isEnabled(std::string_view name) const { return get(name).enabled; }
void MemoryWindow::setEnabled(std::string_view name, bool enabled) { get(name).enabled = enabled; }

// ---- texts and values --------------------------------------------------------------

namespace {
constexpr std::initializer_list<ComponentKind> kTextKinds = {
    ComponentKind::Edit,     ComponentKind::BrowseEdit, ComponentKind::Label,
    ComponentKind::Button,   ComponentKind::CheckBox,   ComponentKind::Panel,
};
}  // namespace

std::string MemoryWindow::text(std::string_view name) const {
    if (name.empty()) return caption_;
    return getKind(name, kTextKinds).text;
}

void MemoryWindow::setText(std::string_view name, const std::string& text) {
    if (name.empty()) {
        caption_ = text;
        return;
    }
    getKind(name, kTextKinds).text = text;
}

void MemoryWindow::typeText(std::string_view name, const std::string& text) {
    Component& c = getKind(name, {ComponentKind::Edit, ComponentKind::BrowseEdit});
    c.text = c.maxLength > 0 && text.size() > c.maxLength ? text.substr(0, c.maxLength) : text;
}

DaySerial MemoryWindow::date(std::string_view name) const {
    return getKind(name, {ComponentKind::DateEdit}).date;
}

void MemoryWindow::setDate(std::string_view name, DaySerial date) {
    getKind(name, {ComponentKind::DateEdit}).date = date;
}

std::vector<std::string> MemoryWindow::items(std::string_view name) const {
    return getKind(name, {ComponentKind::List}).items;
}

void MemoryWindow::addItem(std::string_view name, const std::string& item) {
    getKind(name, {ComponentKind::List}).items.push_back(item);
}

int MemoryWindow::selectedIndex(std::string_view name) const {
    return getKind(name, {ComponentKind::List}).selected;
}

void MemoryWindow::setSelectedIndex(std::string_view name, int index) {
    Component& c = getKind(name, {ComponentKind::List});
    c.selected = (index >= 0 && static_cast<std::size_t>(index) < c.items.size()) ? index : -1;
}

bool MemoryWindow::isChecked(std::string_view name) const {
    return getKind(name, {ComponentKind::CheckBox}).checked;
}

void MemoryWindow::setChecked(std::string_view name, bool checked) {
    getKind(name, {ComponentKind::CheckBox}).checked = checked;
}

// ---- the user ---------------------------------------------------------------------------

void MemoryWindow::setCursor(CursorShape shape) {
    cursor_ = shape;
    cursorHistory_.push_back(shape);
}

bool MemoryWindow::askYesNo(const std::string& question) {
    const bool yes = questionPolicy_ ? questionPolicy_(question) : false;
    questions_.push_back(Question{question, yes});
    return yes;
}

void MemoryWindow::showError(const std::string& message) { errors_.push_back(message); }

void MemoryWindow::showMessage(const std::string& message) { messages_.push_back(message); }

std::optional<std::string> MemoryWindow::runSaveDialog(const std::string& initialFile) {
    saveDialogRequests_.push_back(initialFile);
    return saveDialogAnswer_;
}

void MemoryWindow::close() { ++closeCount_; }

std::optional<std::string> MemoryWindow::runFolderDialog(const std::string& title, const std::string& initialFolder) {
    folderDialogRequests_.push_back(initialFolder);
    if (!folderPolicy_) return std::nullopt;
    return folderPolicy_(title);
}

void MemoryWindow::openWithDesktop(const std::string& path) { openedPaths_.push_back(path); }

void MemoryWindow::showList(const FindingList& list, std::function<void(int key)> onPick) {
    lists_.push_back(list);
    onPick_ = std::move(onPick);
}

void MemoryWindow::pickListRow(std::size_t row) {
    if (lists_.empty() || row >= lists_.back().keys.size()) throw AssertionFailure();
    const int key = lists_.back().keys[row];
    // A copy: the handler may show a list of its own, which replaces it.
    if (key == 0 || !onPick_) return;
    const std::function<void(int)> onPick = onPick_;
    onPick(key);
}

void MemoryWindow::pressListAction() {
    if (lists_.empty() || lists_.back().action.empty()) throw AssertionFailure();
    const int key = lists_.back().actionKey;
    if (key == 0 || !onPick_) return;
    const std::function<void(int)> onPick = onPick_;
    onPick(key);
}

}  // namespace doz
