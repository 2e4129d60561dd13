// In-memory tables: typed fields, rows, a cursor, a filter, an index field,
// locate, edit/insert/post, and the provider that feeds one table from another.
//
// Field names are looked up without regard to letter case. Every walk, count
// and emptiness test sees only the rows that pass the filter (when it is on),
// in the order of the index field (when one is set) or else in row order.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Value.h"

namespace doz {

class Table;
class CompiledFilter;

enum class TableState { Inactive, Browse, Edit, Insert };

// Handle on one field of a table; reads and writes go to the table's current
// row (or to the row being edited or inserted). Valid while the table keeps
// its field definitions.
class Field {
public:
    Field(Table& table, int index) : table_(&table), index_(index) {}

    const FieldDef& def() const;
    const std::string& name() const { return def().name; }
    FieldType type() const { return def().type; }
    int index() const { return index_; }
    // The table whose current row this field reads and writes.
    Table& table() const { return *table_; }

    bool isNull() const;
    const Value& value() const;    // the raw value (null included)
    std::string asText() const;    // null: ""; see valueToText
    // Appends what asText() gives, without a string of its own for text fields.
    void appendText(std::string& out) const;
    std::int64_t asInteger() const;  // null: 0; text converted, ConvertError when not a whole number
    double asFloat() const;          // null: 0
    std::int64_t asCurrency() const;  // ten-thousandths; null: 0
    DaySerial asDate() const;         // null: the zero date
    bool asBoolean() const;           // null: false

    // Writes need the table in edit or insert state. Values are converted to
    // the field's type (ConvertError when they cannot be); a String field of
    // declared size keeps only its first `size` characters.
    void setValue(const Value& v);
    void setText(std::string_view text);
    void setInteger(std::int64_t v);
    void setFloat(double v);
    void setCurrency(std::int64_t scaled);
    void setDate(DaySerial d);
    void clear();

    void setRequired(bool required);

private:
    Table* table_;
    int index_;
};

// A row that several tables can hold at once: the raw dispositions and the
// copy the transfer rules feed share every row those rules leave alone. A
// copy shares; the first change through writable() makes the row its own. Like
// Value's, the count is not atomic: a row and its copies belong to one thread
// at a time.
class SharedRow {
public:
    explicit SharedRow(Row row) : block_(new Block{1, std::move(row)}) {}
    SharedRow(const SharedRow& o) noexcept : block_(o.block_) { ++block_->refs; }
    SharedRow(SharedRow&& o) noexcept : block_(std::exchange(o.block_, nullptr)) {}
    SharedRow& operator=(SharedRow o) noexcept {
        std::swap(block_, o.block_);
        return *this;
    }
    ~SharedRow() {
        if (block_ && --block_->refs == 0) delete block_;
    }

    const Row& get() const { return block_->row; }
    operator const Row&() const { return block_->row; }
    const Value& operator[](std::size_t i) const { return block_->row[i]; }
    const Value& at(std::size_t i) const { return block_->row.at(i); }
    std::size_t size() const { return block_->row.size(); }
    bool shared() const { return block_->refs > 1; }

    // The row to change, copied first when another holder shares it.
    Row& writable() {
        if (block_->refs > 1) {
            Block* own = new Block{1, block_->row};
            --block_->refs;
            block_ = own;
        }
        return block_->row;
    }

    friend bool operator==(const SharedRow& a, const Row& b) { return a.get() == b; }

private:
    struct Block {
        std::size_t refs;
        Row row;
    };
    Block* block_;
};

// Told when the rows or the current row of a table change (the grid).
class TableObserver {
public:
    virtual ~TableObserver() = default;
    virtual void tableChanged(const Table& table) = 0;        // opened, closed, rows, filter, order
    virtual void currentRowChanged(const Table& table) = 0;   // cursor moved
};

// Feeds a table from a source table: every row and field of the source is
// copied into a working copy, onGetData may change the copy (filter, edit,
// post), and all rows of the copy become the content of the receiving table.
class Provider {
public:
    explicit Provider(std::string name = {}) : name_(std::move(name)) {}
    const std::string& name() const { return name_; }
    void setDataSet(Table* source) { source_ = source; }
    Table* dataSet() const { return source_; }

    std::function<void(Table& workingCopy)> onGetData;

    // The source feeds for the last time: its rows move into the copy instead
    // of being shared, and the source is left with its rows released (so that
    // the two are never held at once).
    bool lastFeed = false;
    // The copy gets the source's fields and none of its rows: onGetData then
    // runs for what it does besides changing rows.
    bool fieldsOnly = false;

    // Fills defs and rows for a table that opens.
    // The receiving table shares the rows that onGetData left unchanged.
    void provide(std::vector<FieldDef>& defs, std::vector<SharedRow>& rows);

private:
    std::string name_;
    Table* source_ = nullptr;
};

class Table {
public:
    explicit Table(std::string name = {});
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const std::string& name() const { return name_; }

    // ---- structure and content -------------------------------------------
    // Declares the fields; the table must be closed.
    void setFieldDefs(std::vector<FieldDef> defs);
    const std::vector<FieldDef>& fieldDefs() const { return defs_; }
    // Opens the table with its declared fields and no rows.
    void createDataSet();
    // Replaces fields and rows and opens the table (the readers and the provider use it).
    void assign(std::vector<FieldDef> defs, std::vector<Row> rows);
    // Loads a data packet (binary or XML, recognised by content) and opens the table.
    void loadFromFile(const std::string& path);
    // Texts of the loaded packet that held characters without a Windows-1252
    // form (each took its Latin spelling or '?'), by field index and text as
    // read; empty for a table filled any other way.
    const std::vector<std::pair<std::size_t, std::string>>& narrowedTexts() const { return narrowed_; }
    bool wasNarrowed(std::size_t field, std::string_view text) const;

    // Drops the rows of a table that has fed its copies for the last time: it
    // reads as empty and keeps its fields and the notes of its reading. A
    // provider it feeds afterwards refuses (DataError) rather than give
    // nothing; loading it again ends that.
    void releaseRows();

    // Opening a table with a provider asks the provider for its content;
    // without one it is an error. Closing drops the rows (the field
    // definitions stay) and leaves any edit.
    void open();
    void close();
    bool active() const { return state_ != TableState::Inactive; }
    TableState state() const { return state_; }

    void setProvider(Provider* provider) { provider_ = provider; }
    // Runs after every opening, before anything else reads the table.
    std::function<void(Table&)> afterOpen;

    // ---- fields ------------------------------------------------------------
    int fieldCount() const { return static_cast<int>(defs_.size()); }
    int fieldIndex(std::string_view name) const;  // -1 when there is none
    Field fieldByName(std::string_view name);     // DataError "<table>: campo 'X' non trovato"
    std::optional<Field> findField(std::string_view name);
    Field field(int index);

    // ---- navigation ---------------------------------------------------------
    // All of these throw DataError on a closed table, and post a pending row first.
    void first();
    void next();
    void prior();
    void last();
    bool eof() const;
    bool bof() const;
    bool isEmpty() const;
    int recordCount() const;
    int recNo() const;  // position of the cursor among the rows the filter leaves, from 0; -1 when none

    // ---- editing -------------------------------------------------------------
    void edit();    // the current row; nothing to edit is an error
    void insert();  // a new row of nulls, placed before the current row
    void append();  // a new row of nulls, placed at the end
    void post();    // refuses a null in a required field (DataError)
    void cancel();

    // ---- search and order ----------------------------------------------------
    // First row (among those the filter leaves, in view order) whose fields,
    // named in `keyFields` joined by ';', equal `values` exactly (text
    // case-sensitive, whole values; values converted to each field's type).
    // Found: it becomes the current row.
    bool locate(std::string_view keyFields, const std::vector<Value>& values);
    // Orders the view by these fields (';'-joined), ascending; empty: row order.
    void setIndexFieldNames(std::string_view names);
    const std::string& indexFieldNames() const { return indexFieldNames_; }

    // ---- filter ----------------------------------------------------------------
    // The text is parsed when the filter is on and the table open; a text that
    // does not parse raises DataError naming it and the position.
    void setFilter(std::string text);
    const std::string& filter() const { return filterText_; }
    void setFiltered(bool on);
    bool filtered() const { return filtered_; }
    // Selects the rows again as they stand now (an edited row is not dropped
    // or taken in by its post), and goes to the first; setFilter and
    // setFiltered leave an unchanged filter as it is.
    void refreshFilter();

    // ---- views ------------------------------------------------------------------
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return disableCount_ > 0; }
    void addObserver(TableObserver* observer);
    void removeObserver(TableObserver* observer);

    // ---- direct access (readers, writers, grid, dump) -----------------------
    // All rows in row order, whatever the filter and the index. A row being
    // edited is changed in place: it shows its changes before they are posted.
    const std::vector<SharedRow>& allRows() const { return rows_; }
    // Rows as walked: view position -> row.
    int viewCount() const;
    const Row& viewRow(int position) const;
    // The row the fields read: the row being edited (with its changes) or inserted.
    const Row& currentRow() const;

private:
    friend class Field;
    friend class Provider;

    void assignShared(std::vector<FieldDef> defs, std::vector<SharedRow> rows);
    void requireActive() const;
    void requireRow() const;
    void rebuildView();
    void compileFilter();
    void postIfEditing();
    void notifyChanged();
    void notifyCurrent();
    bool rowPasses(const Row& row) const;
    void writeField(int index, const Value& v);

    std::string name_;
    std::vector<FieldDef> defs_;
    std::vector<SharedRow> rows_;
    std::vector<std::pair<std::size_t, std::string>> narrowed_;  // sorted
    std::vector<int> view_;  // indexes into rows_
    int cursor_ = 0;         // position in view_; == view_.size() past the end
    bool bof_ = true;
    bool eof_ = true;
    TableState state_ = TableState::Inactive;
    Row editBuffer_;   // the row being inserted
    // An edited row changes in place; the values it had are kept to be put
    // back by cancel (field index, former value; each field once).
    int editRow_ = -1;
    std::vector<std::pair<int, Value>> editUndo_;
    int insertAt_ = 0;  // view position where an inserted row goes

    std::string filterText_;
    bool filtered_ = false;
    bool released_ = false;
    std::unique_ptr<CompiledFilter> compiledFilter_;
    std::string indexFieldNames_;
    std::vector<int> indexFields_;

    Provider* provider_ = nullptr;
    int disableCount_ = 0;
    std::vector<TableObserver*> observers_;
};

// The data layer's default text form of a value (what asText gives): integers
// in decimal, floats in the general form with the regional decimal separator,
// currency likewise, BCD as its decimal text (regional separator), dates in the
// regional short form, times "hh:mm:ss", date-times date then time, booleans
// "True"/"False", blobs as their bytes.
std::string valueToText(const Value& v);

// Converts a value to a field's type; ConvertError when it cannot.
Value convertToField(const Value& v, const FieldDef& def);

// Case-insensitive comparison of ASCII names.
bool sameName(std::string_view a, std::string_view b);

}  // namespace doz
