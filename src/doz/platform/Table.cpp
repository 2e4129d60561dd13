#include "platform/Table.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "platform/Ansi.h"
#include "platform/DataPacket.h"
#include "platform/Error.h"
#include "platform/Filter.h"
#include "platform/Regional.h"

namespace doz {

namespace {

std::string prefixed(const std::string& table, const std::string& message) {
    return table.empty() ? message : table + ": " + message;
}

unsigned char lowerAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

// A whole number: optional sign, digits, surrounding blanks allowed.
bool parseWhole(std::string_view text, std::int64_t& out) {
    std::string_view s = trimBlanks(text);
    if (s.empty()) return false;
    bool neg = false;
    if (s.front() == '+' || s.front() == '-') {
        neg = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) return false;
    unsigned long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        const unsigned d = static_cast<unsigned>(c - '0');
        if (v > (static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max()) + (neg ? 1u : 0u) - d) / 10)
            return false;
        v = v * 10 + d;
    }
    out = neg ? static_cast<std::int64_t>(0 - v) : static_cast<std::int64_t>(v);
    return true;
}

bool parseFloatText(std::string_view text, double& out) {
    std::string s(trimBlanks(text));
    if (s.empty()) return false;
    for (char& c : s)
        if (c == regional().decimalSeparator) c = '.';
    for (char c : s)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return false;
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return end == s.c_str() + s.size() && std::isfinite(out);
}

[[noreturn]] void conversionFailed(std::string_view text, const char* what) {
    throw ConvertError(quotedValue(text) + " " + what);
}

const char* kNotInteger = "non \xE8 un valore intero valido";
const char* kNotFloat = "non \xE8 un numero valido";
const char* kNotDate = "non \xE8 una data valida";
const char* kNotBoolean = "non \xE8 un valore logico valido";

std::int64_t roundToInt(double d) {
    if (!std::isfinite(d) || d >= 9.2e18 || d <= -9.2e18) throw ConvertError("Valore fuori intervallo");
    return static_cast<std::int64_t>(std::llround(d));
}

std::int64_t toInteger(const Value& v) {
    return v.visit(
        [](const auto& x) -> std::int64_t {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>) return 0;
            else if constexpr (std::is_same_v<T, bool>) return x ? 1 : 0;
            else if constexpr (std::is_same_v<T, std::int64_t>) return x;
            else if constexpr (std::is_same_v<T, std::uint64_t>) return static_cast<std::int64_t>(x);
            else if constexpr (std::is_same_v<T, double>) return roundToInt(x);
            else if constexpr (std::is_same_v<T, Currency>) return roundToInt(static_cast<double>(x.scaled) / 10000.0);
            else if constexpr (std::is_same_v<T, DecimalRef>) {
                double d;
                if (!parseFloatText(x.text, d)) conversionFailed(x.text, kNotInteger);
                return roundToInt(d);
            } else if constexpr (std::is_same_v<T, Date>) return x.serial;
            else if constexpr (std::is_same_v<T, Time>) return x.ms;
            else if constexpr (std::is_same_v<T, DateTime>) return datePart(x.ms);
            else if constexpr (std::is_same_v<T, std::string_view>) {
                std::int64_t out;
                if (!parseWhole(x, out)) conversionFailed(x, kNotInteger);
                return out;
            } else {
                conversionFailed("(blob)", kNotInteger);
            }
        });
}

double toFloat(const Value& v) {
    return v.visit(
        [](const auto& x) -> double {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>) return 0;
            else if constexpr (std::is_same_v<T, bool>) return x ? 1 : 0;
            else if constexpr (std::is_same_v<T, std::int64_t> || std::is_same_v<T, std::uint64_t>)
                return static_cast<double>(x);
            else if constexpr (std::is_same_v<T, double>) return x;
            else if constexpr (std::is_same_v<T, Currency>) return static_cast<double>(x.scaled) / 10000.0;
            else if constexpr (std::is_same_v<T, DecimalRef> || std::is_same_v<T, std::string_view>) {
                const std::string_view s = [&]() -> std::string_view {
                    if constexpr (std::is_same_v<T, DecimalRef>) return x.text;
                    else return x;
                }();
                double d;
                if (!parseFloatText(s, d)) conversionFailed(s, kNotFloat);
                return d;
            } else if constexpr (std::is_same_v<T, Date>) return x.serial;
            else if constexpr (std::is_same_v<T, Time>) return static_cast<double>(x.ms) / kMsPerDay;
            else if constexpr (std::is_same_v<T, DateTime>) return static_cast<double>(x.ms) / kMsPerDay;
            else conversionFailed("(blob)", kNotFloat);
        });
}

std::int64_t toCurrency(const Value& v) {
    if (v.is<Currency>()) return v.get<Currency>().scaled;
    if (v.is<std::int64_t>()) return v.get<std::int64_t>() * 10000;
    if (v.is<std::string>() || v.is<Decimal>()) {
        const std::string_view s = v.text();
        std::int64_t out;
        if (!parseCurrency(trimBlanks(s), out)) conversionFailed(s, kNotFloat);
        return out;
    }
    if (v.isNull()) return 0;
    return doubleToCurrency(toFloat(v));
}

DaySerial toDate(const Value& v) {
    if (v.isNull()) return 0;
    if (v.is<Date>()) return v.get<Date>().serial;
    if (v.is<DateTime>()) return datePart(v.get<DateTime>().ms);
    if (v.is<std::string>()) {
        DaySerial d;
        const std::string_view s = v.get<std::string>();
        if (!parseDate(trimBlanks(s), d)) conversionFailed(s, kNotDate);
        return d;
    }
    if (v.is<double>()) return static_cast<DaySerial>(std::floor(v.get<double>()));
    return static_cast<DaySerial>(toInteger(v));
}

bool toBoolean(const Value& v) {
    if (v.isNull()) return false;
    if (v.is<bool>()) return v.get<bool>();
    if (v.is<std::string>()) {
        std::string s(trimBlanks(v.get<std::string>()));
        for (char& c : s) c = static_cast<char>(lowerAscii(static_cast<unsigned char>(c)));
        if (s == "true" || s == "t" || s == "1") return true;
        if (s == "false" || s == "f" || s == "0") return false;
        conversionFailed(v.get<std::string>(), kNotBoolean);
    }
    return toInteger(v) != 0;
}

std::string currencyText(std::int64_t scaled) {
    // General form of a four-decimal value: no trailing zeros, no grouping.
    const bool neg = scaled < 0;
    const unsigned long long a = neg ? 0ULL - static_cast<unsigned long long>(scaled) : static_cast<unsigned long long>(scaled);
    std::string out = neg ? "-" : "";
    out += std::to_string(a / 10000);
    unsigned long long frac = a % 10000;
    if (frac) {
        std::string f = std::to_string(frac);
        f.insert(0, 4 - f.size(), '0');
        while (!f.empty() && f.back() == '0') f.pop_back();
        out += regional().decimalSeparator;
        out += f;
    }
    return out;
}

int compareValues(const Value& a, const Value& b) {
    if (a.isNull() || b.isNull()) return a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
    if (a.is<std::string>() && b.is<std::string>()) {
        const int c = a.get<std::string>().compare(b.get<std::string>());
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    if (a.is<std::int64_t>() && b.is<std::int64_t>()) {
        const auto x = a.get<std::int64_t>(), y = b.get<std::int64_t>();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (a.is<Bytes>() || b.is<Bytes>() || a.is<std::string>() || b.is<std::string>()) {
        const std::string x = valueToText(a), y = valueToText(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    const double x = toFloat(a), y = toFloat(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

std::vector<std::string_view> splitNames(std::string_view names) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (start <= names.size()) {
        std::size_t end = names.find(';', start);
        if (end == std::string_view::npos) end = names.size();
        std::string_view piece = trimBlanks(names.substr(start, end - start));
        if (!piece.empty()) out.push_back(piece);
        start = end + 1;
    }
    return out;
}

// The same kind and the same stored form: a float's bits (0.0 and -0.0 differ).
bool sameStored(const Value& a, const Value& b) {
    if (a.kind() != b.kind()) return false;
    if (a.kind() == Value::Kind::Float)
        return std::bit_cast<std::uint64_t>(a.get<double>()) == std::bit_cast<std::uint64_t>(b.get<double>());
    return a == b;
}

const Row& nullRow(std::size_t n) {
    static thread_local Row row;
    if (row.size() != n) row.assign(n, Value());
    return row;
}

}  // namespace

// ---------------------------------------------------------------------------
// Free functions

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(static_cast<unsigned char>(a[i])) != lowerAscii(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

std::string valueToText(const Value& v) {
    return v.visit(
        [](const auto& x) -> std::string {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>) return {};
            else if constexpr (std::is_same_v<T, bool>) return x ? "True" : "False";
            else if constexpr (std::is_same_v<T, std::int64_t> || std::is_same_v<T, std::uint64_t>)
                return std::to_string(x);
            else if constexpr (std::is_same_v<T, double>) return formatFloatGeneral(x);
            else if constexpr (std::is_same_v<T, Currency>) return currencyText(x.scaled);
            else if constexpr (std::is_same_v<T, DecimalRef>) {
                std::string s(x.text);
                for (char& c : s)
                    if (c == '.') c = regional().decimalSeparator;
                return s;
            } else if constexpr (std::is_same_v<T, Date>) return formatShortDate(x.serial);
            else if constexpr (std::is_same_v<T, Time>) return isoTime(x.ms).substr(0, 8);
            else if constexpr (std::is_same_v<T, DateTime>) {
                std::string s = formatShortDate(datePart(x.ms));
                if (timePart(x.ms) != 0) s += " " + isoTime(timePart(x.ms)).substr(0, 8);
                return s;
            } else if constexpr (std::is_same_v<T, std::string_view>) return std::string(x);
            else return std::string(x.begin(), x.end());
        });
}

Value convertToField(const Value& v, const FieldDef& def) {
    if (v.isNull()) return Value();
    // An empty text given to a field that is not text clears it.
    if (v.is<std::string>() && def.type != FieldType::String && def.type != FieldType::Memo &&
        def.type != FieldType::Blob && v.get<std::string>().empty())
        return Value();
    auto ranged = [&](std::int64_t x, std::int64_t lo, std::int64_t hi) -> Value {
        if (x < lo || x > hi) throw ConvertError("Valore " + std::to_string(x) + " fuori intervallo per il campo '" + def.name + "'");
        return Value(x);
    };
    switch (def.type) {
        case FieldType::String: {
            // A text that fits keeps sharing its bytes.
            if (v.is<std::string>() && (def.size <= 0 || v.text().size() <= static_cast<std::size_t>(def.size)))
                return v;
            std::string s = valueToText(v);
            if (def.size > 0 && static_cast<int>(s.size()) > def.size) s.resize(static_cast<std::size_t>(def.size));
            return Value(std::move(s));
        }
        case FieldType::Memo:
            if (v.is<std::string>()) return v;
            return Value(valueToText(v));
        case FieldType::Blob:
            if (v.is<Bytes>()) return v;
            {
                const std::string s = valueToText(v);
                return Value(Bytes(s.begin(), s.end()));
            }
        case FieldType::Int8: return ranged(toInteger(v), -128, 127);
        case FieldType::Int16: return ranged(toInteger(v), -32768, 32767);
        case FieldType::Int32: return ranged(toInteger(v), std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
        case FieldType::Int64: return Value(toInteger(v));
        case FieldType::UInt8: return ranged(toInteger(v), 0, 255);
        case FieldType::UInt16: return ranged(toInteger(v), 0, 65535);
        case FieldType::UInt32: return ranged(toInteger(v), 0, 4294967295LL);
        case FieldType::UInt64:
            if (v.is<std::uint64_t>()) return v;
            return ranged(toInteger(v), 0, std::numeric_limits<std::int64_t>::max());
        case FieldType::Boolean: return Value(toBoolean(v));
        case FieldType::Float: return Value(toFloat(v));
        case FieldType::Currency: return Value(Currency{toCurrency(v)});
        case FieldType::Bcd: {
            if (v.is<Decimal>()) return v;
            std::string s;
            if (v.is<std::int64_t>()) s = std::to_string(v.get<std::int64_t>());
            else if (v.is<Currency>() || v.is<std::string>()) {
                const std::int64_t c = toCurrency(v);
                s = currencyText(c);
                for (char& ch : s)
                    if (ch == regional().decimalSeparator) ch = '.';
            } else {
                s = currencyText(doubleToCurrency(toFloat(v)));
                for (char& ch : s)
                    if (ch == regional().decimalSeparator) ch = '.';
            }
            return Value(Decimal{std::move(s)});
        }
        case FieldType::Date: return Value(Date{toDate(v)});
        case FieldType::Time:
            if (v.is<Time>()) return v;
            if (v.is<DateTime>()) return Value(Time{timePart(v.get<DateTime>().ms)});
            return Value(Time{static_cast<TimeOfDay>(toInteger(v))});
        case FieldType::DateTime:
            if (v.is<DateTime>()) return v;
            if (v.is<Date>() || v.is<std::string>()) return Value(DateTime{static_cast<DateTimeMs>(toDate(v)) * kMsPerDay});
            return Value(DateTime{static_cast<DateTimeMs>(std::llround(toFloat(v) * kMsPerDay))});
    }
    return v;
}

// ---------------------------------------------------------------------------
// Field

const FieldDef& Field::def() const { return table_->defs_[static_cast<std::size_t>(index_)]; }

const Value& Field::value() const {
    table_->requireActive();
    return table_->currentRow()[static_cast<std::size_t>(index_)];
}

namespace {
// A value that does not convert: the message also names the field it came from.
template <class Convert>
auto convertNamed(const Field& f, Convert convert) {
    try {
        return convert(f.value());
    } catch (const ConvertError& e) {
        throw ConvertError(std::string(e.what()) + " (campo '" + f.name() + "')");
    }
}
}  // namespace

bool Field::isNull() const { return value().isNull(); }
std::string Field::asText() const { return valueToText(value()); }
void Field::appendText(std::string& out) const {
    const Value& v = value();
    if (v.isNull()) return;
    if (v.is<std::string>()) out += v.get<std::string>();
    else out += valueToText(v);
}
std::int64_t Field::asInteger() const { return convertNamed(*this, toInteger); }
double Field::asFloat() const { return convertNamed(*this, toFloat); }
std::int64_t Field::asCurrency() const { return convertNamed(*this, toCurrency); }
DaySerial Field::asDate() const { return convertNamed(*this, toDate); }
bool Field::asBoolean() const { return convertNamed(*this, toBoolean); }

void Field::setValue(const Value& v) { table_->writeField(index_, v); }
void Field::setText(std::string_view text) { setValue(Value(std::string(text))); }
void Field::setInteger(std::int64_t v) { setValue(Value(v)); }
void Field::setFloat(double v) { setValue(Value(v)); }
void Field::setCurrency(std::int64_t scaled) { setValue(Value(Currency{scaled})); }
void Field::setDate(DaySerial d) { setValue(Value(Date{d})); }
void Field::clear() { setValue(Value()); }
void Field::setRequired(bool required) { table_->defs_[static_cast<std::size_t>(index_)].required = required; }

// ---------------------------------------------------------------------------
// Provider

void Provider::provide(std::vector<FieldDef>& defs, std::vector<SharedRow>& rows) {
    if (!source_) throw DataError(prefixed(name_, "manca la tabella di origine"));
    if (!source_->active())
        throw DataError(prefixed(source_->name(), "impossibile eseguire l'operazione su una tabella chiusa"));
    if (source_->released_)
        throw DataError(prefixed(source_->name(), "le righe lette sono gi\xE0 state rilasciate: rileggere il file"));
    Table working(name_.empty() ? std::string("copia") : name_);
    std::vector<SharedRow> copied;
    copied.reserve(static_cast<std::size_t>(source_->viewCount()));
    if (fieldsOnly) {
        // none
    } else if (lastFeed) {
        for (int i : source_->view_) copied.push_back(std::move(source_->rows_[static_cast<std::size_t>(i)]));
        source_->releaseRows();
    } else {
        for (int i : source_->view_) copied.push_back(source_->rows_[static_cast<std::size_t>(i)]);
    }
    working.assignShared(source_->fieldDefs(), std::move(copied));
    if (onGetData) onGetData(working);
    if (working.state() == TableState::Edit || working.state() == TableState::Insert) working.post();
    defs = working.defs_;
    rows = std::move(working.rows_);
}

// ---------------------------------------------------------------------------
// Table

Table::Table(std::string name) : name_(std::move(name)) {}
Table::~Table() = default;

void Table::setFieldDefs(std::vector<FieldDef> defs) {
    if (active()) throw DataError(prefixed(name_, "impossibile modificare i campi di una tabella aperta"));
    defs_ = std::move(defs);
}

void Table::createDataSet() { assignShared(defs_, {}); }

void Table::assign(std::vector<FieldDef> defs, std::vector<Row> rows) {
    std::vector<SharedRow> shared;
    shared.reserve(rows.size());
    for (Row& r : rows) shared.emplace_back(std::move(r));
    rows.clear();
    rows.shrink_to_fit();
    assignShared(std::move(defs), std::move(shared));
}

void Table::assignShared(std::vector<FieldDef> defs, std::vector<SharedRow> rows) {
    for (const SharedRow& r : rows)
        if (r.size() != defs.size()) throw DataError(prefixed(name_, "riga con un numero di valori diverso dai campi"));
    state_ = TableState::Inactive;
    released_ = false;
    compiledFilter_.reset();
    defs_ = std::move(defs);
    rows_ = std::move(rows);
    narrowed_.clear();
    view_.clear();
    editBuffer_.clear();
    editUndo_.clear();
    // Resolve the index and the filter before the table counts as open: a
    // filter that does not parse leaves it closed.
    indexFields_.clear();
    for (std::string_view n : splitNames(indexFieldNames_)) {
        const int i = fieldIndex(n);
        if (i < 0) throw DataError(prefixed(name_, "campo '" + std::string(n) + "' non trovato"));
        indexFields_.push_back(i);
    }
    if (filtered_ && !filterText_.empty()) compiledFilter_ = doz::compileFilter(filterText_, defs_);
    state_ = TableState::Browse;
    try {
        rebuildView();
    } catch (...) {
        state_ = TableState::Inactive;
        rows_.clear();
        throw;
    }
    cursor_ = 0;
    bof_ = true;
    eof_ = view_.empty();
    if (afterOpen) afterOpen(*this);
    notifyChanged();
}

void Table::loadFromFile(const std::string& path) {
    if (active()) close();
    PacketContent content = readPacketFile(path);
    assign(std::move(content.fields), std::move(content.rows));
    narrowed_ = std::move(content.narrowed);
}

bool Table::wasNarrowed(std::size_t field, std::string_view text) const {
    const auto it = std::lower_bound(narrowed_.begin(), narrowed_.end(), std::pair(field, text),
                                     [](const auto& entry, const std::pair<std::size_t, std::string_view>& key) {
                                         if (entry.first != key.first) return entry.first < key.first;
                                         return std::string_view(entry.second) < key.second;
                                     });
    return it != narrowed_.end() && it->first == field && it->second == text;
}

void Table::open() {
    if (active()) return;
    if (!provider_) throw DataError(prefixed(name_, "manca il provider o il pacchetto dati"));
    std::vector<FieldDef> defs;
    std::vector<SharedRow> rows;
    provider_->provide(defs, rows);
    assignShared(std::move(defs), std::move(rows));
}

void Table::releaseRows() {
    requireActive();
    // A pending edit goes with the rows (an edited row changes in place).
    editUndo_.clear();
    editBuffer_.clear();
    state_ = TableState::Browse;
    rows_.clear();
    rows_.shrink_to_fit();
    view_.clear();
    view_.shrink_to_fit();
    cursor_ = 0;
    bof_ = eof_ = true;
    released_ = true;
    notifyChanged();
}

void Table::close() {
    state_ = TableState::Inactive;
    rows_.clear();
    narrowed_.clear();
    view_.clear();
    editBuffer_.clear();
    editUndo_.clear();
    compiledFilter_.reset();
    cursor_ = 0;
    bof_ = eof_ = true;
    notifyChanged();
}

int Table::fieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < defs_.size(); ++i)
        if (sameName(defs_[i].name, name)) return static_cast<int>(i);
    return -1;
}

Field Table::fieldByName(std::string_view name) {
    const int i = fieldIndex(name);
    if (i < 0) throw DataError(prefixed(name_, "campo '" + std::string(name) + "' non trovato"));
    return Field(*this, i);
}

std::optional<Field> Table::findField(std::string_view name) {
    const int i = fieldIndex(name);
    if (i < 0) return std::nullopt;
    return Field(*this, i);
}

Field Table::field(int index) {
    if (index < 0 || index >= fieldCount()) throw DataError(prefixed(name_, "indice di campo fuori intervallo"));
    return Field(*this, index);
}

void Table::requireActive() const {
    if (!active()) throw DataError(prefixed(name_, "impossibile eseguire l'operazione su una tabella chiusa"));
}

void Table::postIfEditing() {
    if (state_ == TableState::Edit || state_ == TableState::Insert) post();
}

void Table::first() {
    requireActive();
    postIfEditing();
    cursor_ = 0;
    bof_ = true;
    eof_ = view_.empty();
    notifyCurrent();
}

void Table::next() {
    requireActive();
    postIfEditing();
    if (cursor_ + 1 < static_cast<int>(view_.size())) {
        ++cursor_;
        eof_ = false;
    } else {
        eof_ = true;
    }
    bof_ = false;
    notifyCurrent();
}

void Table::prior() {
    requireActive();
    postIfEditing();
    if (cursor_ > 0) {
        --cursor_;
        bof_ = false;
    } else {
        bof_ = true;
    }
    eof_ = view_.empty();
    notifyCurrent();
}

void Table::last() {
    requireActive();
    postIfEditing();
    cursor_ = view_.empty() ? 0 : static_cast<int>(view_.size()) - 1;
    eof_ = true;
    bof_ = view_.empty();
    notifyCurrent();
}

bool Table::eof() const {
    requireActive();
    return eof_;
}

bool Table::bof() const {
    requireActive();
    return bof_;
}

bool Table::isEmpty() const {
    requireActive();
    return view_.empty() && state_ != TableState::Insert;
}

int Table::recordCount() const {
    requireActive();
    return static_cast<int>(view_.size());
}

int Table::recNo() const {
    if (!active() || view_.empty()) return -1;
    return cursor_;
}

const Row& Table::currentRow() const {
    if (state_ == TableState::Edit) return rows_[static_cast<std::size_t>(editRow_)];
    if (state_ == TableState::Insert) return editBuffer_;
    if (!active() || view_.empty()) return nullRow(defs_.size());
    return rows_[static_cast<std::size_t>(view_[static_cast<std::size_t>(cursor_)])];
}

void Table::writeField(int index, const Value& v) {
    if (state_ != TableState::Edit && state_ != TableState::Insert) {
        requireActive();
        throw DataError(prefixed(name_, "la tabella non \xE8 in modifica o inserimento"));
    }
    const std::size_t i = static_cast<std::size_t>(index);
    Value converted = convertToField(v, defs_[i]);
    if (state_ == TableState::Insert) {
        editBuffer_[i] = std::move(converted);
        return;
    }
    // Writing what the field already holds changes nothing, and leaves a row
    // shared with another table shared (a rule that puts the header's ordering
    // account into dispositions that already carry it copies no row).
    if (sameStored(rows_[static_cast<std::size_t>(editRow_)][i], converted)) return;
    Value& target = rows_[static_cast<std::size_t>(editRow_)].writable()[i];
    const bool saved = std::any_of(editUndo_.begin(), editUndo_.end(), [&](const auto& u) { return u.first == index; });
    if (!saved) editUndo_.emplace_back(index, std::move(target));
    target = std::move(converted);
}

void Table::edit() {
    requireActive();
    if (state_ == TableState::Edit || state_ == TableState::Insert) return;
    if (view_.empty()) {
        insert();
        return;
    }
    editRow_ = view_[static_cast<std::size_t>(cursor_)];
    editUndo_.clear();
    state_ = TableState::Edit;
}

void Table::insert() {
    requireActive();
    postIfEditing();
    editBuffer_.assign(defs_.size(), Value());
    insertAt_ = view_.empty() ? 0 : cursor_;
    state_ = TableState::Insert;
}

void Table::append() {
    requireActive();
    postIfEditing();
    editBuffer_.assign(defs_.size(), Value());
    insertAt_ = static_cast<int>(view_.size());
    state_ = TableState::Insert;
}

void Table::post() {
    requireActive();
    if (state_ == TableState::Browse) return;
    const Row& row = currentRow();
    for (std::size_t i = 0; i < defs_.size(); ++i)
        if (defs_[i].required && row[i].isNull())
            throw DataError("Il campo '" + defs_[i].name + "' deve avere un valore");
    if (state_ == TableState::Edit) {
        editUndo_.clear();
        state_ = TableState::Browse;
        notifyChanged();
        return;
    }
    // Physical place: before the row that stands at the insert position.
    int physical = static_cast<int>(rows_.size());
    if (insertAt_ < static_cast<int>(view_.size())) physical = view_[static_cast<std::size_t>(insertAt_)];
    rows_.insert(rows_.begin() + physical, SharedRow(std::move(editBuffer_)));
    for (int& r : view_)
        if (r >= physical) ++r;
    view_.insert(view_.begin() + insertAt_, physical);
    cursor_ = insertAt_;
    if (!indexFields_.empty()) {
        rebuildView();
        const auto it = std::find(view_.begin(), view_.end(), physical);
        cursor_ = it == view_.end() ? 0 : static_cast<int>(it - view_.begin());
    }
    eof_ = bof_ = false;
    editBuffer_.clear();
    state_ = TableState::Browse;
    notifyChanged();
}

void Table::cancel() {
    if (state_ == TableState::Edit) {
        if (!editUndo_.empty()) {
            Row& row = rows_[static_cast<std::size_t>(editRow_)].writable();
            for (auto& [index, former] : editUndo_) row[static_cast<std::size_t>(index)] = std::move(former);
        }
        editUndo_.clear();
        state_ = TableState::Browse;
    } else if (state_ == TableState::Insert) {
        editBuffer_.clear();
        state_ = TableState::Browse;
    }
}

bool Table::locate(std::string_view keyFields, const std::vector<Value>& values) {
    requireActive();
    postIfEditing();
    const auto names = splitNames(keyFields);
    if (names.size() != values.size())
        throw DataError(prefixed(name_, "numero di valori diverso dai campi di ricerca"));
    std::vector<int> idx;
    std::vector<Value> keys;
    for (std::size_t k = 0; k < names.size(); ++k) {
        const Field f = fieldByName(names[k]);
        idx.push_back(f.index());
        keys.push_back(convertToField(values[k], f.def()));
    }
    for (std::size_t pos = 0; pos < view_.size(); ++pos) {
        const Row& row = rows_[static_cast<std::size_t>(view_[pos])];
        bool match = true;
        for (std::size_t k = 0; k < idx.size() && match; ++k) match = row[static_cast<std::size_t>(idx[k])] == keys[k];
        if (match) {
            cursor_ = static_cast<int>(pos);
            bof_ = eof_ = false;
            notifyCurrent();
            return true;
        }
    }
    return false;
}

void Table::setIndexFieldNames(std::string_view names) {
    indexFieldNames_ = std::string(names);
    indexFields_.clear();
    if (!active()) return;
    for (std::string_view n : splitNames(indexFieldNames_)) indexFields_.push_back(fieldByName(n).index());
    postIfEditing();
    rebuildView();
    cursor_ = 0;
    bof_ = true;
    eof_ = view_.empty();
}

void Table::setFilter(std::string text) {
    if (text == filterText_) return;
    if (filtered_ && active()) {
        postIfEditing();
        std::unique_ptr<CompiledFilter> compiled;
        if (!text.empty()) compiled = doz::compileFilter(text, defs_);
        filterText_ = std::move(text);
        compiledFilter_ = std::move(compiled);
        rebuildView();
        cursor_ = 0;
        bof_ = true;
        eof_ = view_.empty();
    } else {
        filterText_ = std::move(text);
    }
}

void Table::setFiltered(bool on) {
    if (on == filtered_) return;
    if (active()) {
        postIfEditing();
        std::unique_ptr<CompiledFilter> compiled;
        if (on && !filterText_.empty()) compiled = doz::compileFilter(filterText_, defs_);
        filtered_ = on;
        compiledFilter_ = std::move(compiled);
        rebuildView();
        cursor_ = 0;
        bof_ = true;
        eof_ = view_.empty();
    } else {
        filtered_ = on;
    }
}

void Table::refreshFilter() {
    requireActive();
    postIfEditing();
    rebuildView();
    cursor_ = 0;
    bof_ = true;
    eof_ = view_.empty();
}

bool Table::rowPasses(const Row& row) const { return !compiledFilter_ || compiledFilter_->matches(row); }

void Table::rebuildView() {
    std::vector<int> view;
    view.reserve(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rowPasses(rows_[i])) view.push_back(static_cast<int>(i));
    if (!indexFields_.empty()) {
        std::stable_sort(view.begin(), view.end(), [&](int a, int b) {
            for (int f : indexFields_) {
                const int c = compareValues(rows_[static_cast<std::size_t>(a)][static_cast<std::size_t>(f)],
                                            rows_[static_cast<std::size_t>(b)][static_cast<std::size_t>(f)]);
                if (c != 0) return c < 0;
            }
            return false;
        });
    }
    view_ = std::move(view);
    notifyChanged();
}

int Table::viewCount() const { return active() ? static_cast<int>(view_.size()) : 0; }

const Row& Table::viewRow(int position) const {
    return rows_.at(static_cast<std::size_t>(view_.at(static_cast<std::size_t>(position))));
}

void Table::disableControls() { ++disableCount_; }

void Table::enableControls() {
    if (disableCount_ > 0 && --disableCount_ == 0) {
        notifyChanged();
        notifyCurrent();
    }
}

void Table::addObserver(TableObserver* observer) { observers_.push_back(observer); }

void Table::removeObserver(TableObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void Table::notifyChanged() {
    if (disableCount_ > 0) return;
    for (TableObserver* o : observers_) o->tableChanged(*this);
}

void Table::notifyCurrent() {
    if (disableCount_ > 0) return;
    for (TableObserver* o : observers_) o->currentRowChanged(*this);
}

void Table::compileFilter() {
    compiledFilter_.reset();
    if (filtered_ && !filterText_.empty()) compiledFilter_ = doz::compileFilter(filterText_, defs_);
}

void Table::requireRow() const {
    requireActive();
    if (view_.empty()) throw DataError(prefixed(name_, "nessun record"));
}

}  // namespace doz
