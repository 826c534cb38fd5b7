#include "extract/record_set.h"

#include <algorithm>
#include <cctype>

namespace sccevtmon {
namespace {

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

Status badFilter(std::string_view expression, std::size_t at, const std::string& what) {
  return Status{kErrAutomation, "Invalid filter expression at position " + std::to_string(at + 1) +
                                    ": " + what + " in \"" + std::string(expression) + "\""};
}

}  // namespace

RecordSet::RecordSet(std::vector<FieldDefinition> fields) : fields_(std::move(fields)) {}

std::optional<std::size_t> RecordSet::column(std::string_view name) const {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (sameName(fields_[i].name, name)) return i;
  }
  return std::nullopt;
}

FieldValue RecordSet::fit(std::size_t column, FieldValue value) const {
  const FieldDefinition& f = fields_[column];
  if (value && f.type == kAdVarChar && value->size() > f.size) value->resize(f.size);
  return value;
}

Status RecordSet::addRow(std::vector<FieldValue> values) {
  if (values.size() > fields_.size()) {
    return Status{kErrAutomation, "More values than the record set has columns"};
  }
  values.resize(fields_.size());
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = fit(i, std::move(values[i]));
  append(std::make_shared<Row>(std::move(values)));
  return Status::success();
}

void RecordSet::append(std::shared_ptr<Row> row) {
  bool shown = !filter_;
  if (filter_) {
    for (const Comparison& c : *filter_) shown = shown || ((*row)[c.column] == c.text);
  }
  rows_.push_back(std::move(row));
  if (shown) visible_.push_back(rows_.size() - 1);
}

bool RecordSet::fitsWithin(const RecordSet& source) const {
  if (source.fields_.size() != fields_.size()) return false;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (source.fields_[i].type != fields_[i].type || source.fields_[i].size > fields_[i].size) {
      return false;
    }
  }
  return true;
}

Status RecordSet::addShared(const std::shared_ptr<Row>& row, bool fits) {
  // A row of a set whose columns fit ours is taken as it is, without touching its values.
  if (!fits) {
    if (row->size() != fields_.size()) {
      return Status{kErrAutomation, "Record sets of different layouts"};
    }
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      const FieldValue& v = (*row)[i];
      // A value too long for this set's column is stored cut, in a row of its own.
      if (v && fields_[i].type == kAdVarChar && v->size() > fields_[i].size) return addRow(*row);
    }
  }
  append(row);
  return Status::success();
}

Status RecordSet::addRowFrom(const RecordSet& source) {
  std::size_t index = 0;
  if (Status s = source.currentRow(&index); !s.ok()) return s;
  return addShared(source.rows_[index], fitsWithin(source));
}

Status RecordSet::currentRow(std::size_t* index) const {
  if (cursor_ >= visible_.size()) {
    return Status{kErrAutomation,
                  "Either BOF or EOF is True, or the current record has been "
                  "deleted."};
  }
  *index = visible_[cursor_];
  return Status::success();
}

Status RecordSet::locate(std::string_view name, std::size_t* column, std::size_t* index) const {
  auto c = this->column(name);
  if (!c) {
    return Status{kErrAutomation,
                  "Item cannot be found in the collection corresponding to the "
                  "requested name or ordinal."};
  }
  *column = *c;
  return currentRow(index);
}

Status RecordSet::value(std::string_view name, FieldValue* out) const {
  std::size_t c = 0, index = 0;
  if (Status s = locate(name, &c, &index); !s.ok()) return s;
  *out = (*rows_[index])[c];
  return Status::success();
}

const FieldValue& RecordSet::valueAt(std::size_t column) const {
  return (*rows_[visible_[cursor_]])[column];
}

Status RecordSet::setValue(std::string_view name, FieldValue value) {
  std::size_t c = 0, index = 0;
  if (Status s = locate(name, &c, &index); !s.ok()) return s;
  // Rows are shared with the sets they were copied to: change a private copy.
  if (rows_[index].use_count() > 1) rows_[index] = std::make_shared<Row>(*rows_[index]);
  (*rows_[index])[c] = fit(c, std::move(value));
  return Status::success();
}

Status RecordSet::setFilter(std::string_view expression) {
  std::size_t i = 0;
  auto skipBlanks = [&] {
    while (i < expression.size() && (expression[i] == ' ' || expression[i] == '\t')) ++i;
  };
  skipBlanks();
  if (i == expression.size()) {
    clearFilter();
    return Status::success();
  }
  if (expression[i] != '(') return badFilter(expression, i, "expected '('");
  ++i;
  std::vector<Comparison> comparisons;
  for (;;) {
    skipBlanks();
    std::size_t start = i;
    while (i < expression.size() &&
           (std::isalnum(static_cast<unsigned char>(expression[i])) || expression[i] == '_')) {
      ++i;
    }
    if (i == start) return badFilter(expression, i, "expected a column name");
    auto c = column(expression.substr(start, i - start));
    if (!c) return badFilter(expression, start, "unknown column");
    skipBlanks();
    if (i >= expression.size() || expression[i] != '=')
      return badFilter(expression, i, "expected '='");
    ++i;
    skipBlanks();
    if (i >= expression.size() || expression[i] != '\'') {
      return badFilter(expression, i, "expected a quoted text");
    }
    std::size_t close = expression.find('\'', i + 1);
    if (close == std::string_view::npos) return badFilter(expression, i, "unterminated text");
    comparisons.push_back({*c, std::string(expression.substr(i + 1, close - i - 1))});
    i = close + 1;
    skipBlanks();
    if (i < expression.size() && expression[i] == ')') {
      ++i;
      skipBlanks();
      if (i != expression.size()) return badFilter(expression, i, "text after ')'");
      break;
    }
    if (i + 2 <= expression.size() && sameName(expression.substr(i, 2), "OR") &&
        (i + 2 == expression.size() || expression[i + 2] == ' ')) {
      i += 2;
      continue;
    }
    return badFilter(expression, i, "expected OR or ')'");
  }
  filter_ = std::move(comparisons);
  applyFilter();
  return Status::success();
}

void RecordSet::clearFilter() {
  filter_.reset();
  applyFilter();
}

void RecordSet::applyFilter() {
  visible_.clear();
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    bool shown = !filter_;
    if (filter_) {
      for (const Comparison& c : *filter_) {
        if ((*rows_[i])[c.column] == c.text) {
          shown = true;
          break;
        }
      }
    }
    if (shown) visible_.push_back(i);
  }
  cursor_ = 0;
}

void RecordSet::deleteAll() {
  if (visible_.size() == rows_.size()) {
    rows_.clear();
  } else {
    std::vector<bool> drop(rows_.size(), false);
    for (std::size_t i : visible_) drop[i] = true;
    std::vector<std::shared_ptr<Row>> kept;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      if (!drop[i]) kept.push_back(std::move(rows_[i]));
    }
    rows_ = std::move(kept);
  }
  // The deleted rows were the visible ones; the filter now shows none of what is left.
  visible_.clear();
  cursor_ = 0;
}

Status RecordSet::copyAllFrom(const RecordSet& source) {
  // Values of a set whose columns are no wider than ours fit without a look at each.
  const bool fits = fitsWithin(source);
  rows_.reserve(rows_.size() + source.visible_.size());
  visible_.reserve(visible_.size() + source.visible_.size());
  for (std::size_t index : source.visible_) {
    if (Status s = addShared(source.rows_[index], fits); !s.ok()) return s;
  }
  return Status::success();
}

void RecordSet::close() {
  rows_.clear();
  visible_.clear();
  filter_.reset();
  cursor_ = 0;
}

}  // namespace sccevtmon
