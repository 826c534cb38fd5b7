#include "extract/record_set.h"

#include <algorithm>
#include <cctype>
#include <cstring>

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

RecordSet::RecordSet(std::vector<FieldDefinition> fields)
    : fields_(std::move(fields)), store_(std::make_shared<TextRows>(fields_.size())) {}

std::optional<std::size_t> RecordSet::column(std::string_view name) const {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (sameName(fields_[i].name, name)) return i;
  }
  return std::nullopt;
}

FieldText RecordSet::fit(std::size_t column, FieldText value) const {
  const FieldDefinition& f = fields_[column];
  if (value && f.type == kAdVarChar && value->size() > f.size) value = value->substr(0, f.size);
  return value;
}

Status RecordSet::addRow(const std::vector<FieldValue>& values) {
  if (values.size() > fields_.size()) {
    return Status{kErrAutomation, "More values than the record set has columns"};
  }
  std::vector<FieldText> cells(fields_.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (values[i]) cells[i] = fit(i, *values[i]);
  }
  store_->add(cells);
  append(static_cast<std::uint32_t>(store_->size() - 1));
  return Status::success();
}

Status RecordSet::adopt(std::unique_ptr<TextRows> rows) {
  if (!rows || rows->columns() != fields_.size() || !rows_.empty()) {
    return Status{kErrAutomation, "Record sets of different layouts"};
  }
  rows->editAll([&](std::size_t column, FieldText in, char* out) -> std::uint32_t {
    if (!in) return TextRows::kNull;
    FieldText cut = fit(column, in);
    if (!cut->empty()) std::memmove(out, cut->data(), cut->size());
    return static_cast<std::uint32_t>(cut->size());
  });
  store_ = std::move(rows);
  rows_.resize(store_->size());
  for (std::size_t i = 0; i < rows_.size(); ++i) rows_[i] = static_cast<std::uint32_t>(i);
  applyFilter();
  return Status::success();
}

bool RecordSet::shown(std::uint32_t row) const {
  if (!filter_) return true;
  for (const Comparison& c : *filter_) {
    if (store_->cell(row, c.column) == std::string_view(c.text)) return true;
  }
  return false;
}

void RecordSet::append(std::uint32_t row) {
  rows_.push_back(row);
  if (filter_ && shown(row)) visible_.push_back(static_cast<std::uint32_t>(rows_.size() - 1));
}

bool RecordSet::canShare(const RecordSet& source) {
  if (source.fields_.size() != fields_.size()) return false;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (source.fields_[i].type != fields_[i].type || source.fields_[i].size > fields_[i].size) {
      return false;
    }
  }
  if (store_ == source.store_) return true;
  if (!rows_.empty()) return false;
  store_ = source.store_;
  return true;
}

Status RecordSet::addCopy(const RecordSet& source, std::uint32_t row) {
  if (source.fields_.size() != fields_.size()) {
    return Status{kErrAutomation, "Record sets of different layouts"};
  }
  std::vector<FieldText> cells(fields_.size());
  for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = fit(i, source.store_->cell(row, i));
  store_->add(cells);
  append(static_cast<std::uint32_t>(store_->size() - 1));
  return Status::success();
}

Status RecordSet::addRowFrom(const RecordSet& source) {
  if (source.atEnd()) {
    return Status{kErrAutomation,
                  "Either BOF or EOF is True, or the current record has been "
                  "deleted."};
  }
  auto row = static_cast<std::uint32_t>(source.storeRow());
  if (canShare(source)) {
    append(row);
    return Status::success();
  }
  return addCopy(source, row);
}

Status RecordSet::locate(std::string_view name, std::size_t* column, std::size_t* row) const {
  auto c = this->column(name);
  if (!c) {
    return Status{kErrAutomation,
                  "Item cannot be found in the collection corresponding to the "
                  "requested name or ordinal."};
  }
  *column = *c;
  if (atEnd()) {
    return Status{kErrAutomation,
                  "Either BOF or EOF is True, or the current record has been "
                  "deleted."};
  }
  *row = storeRow();
  return Status::success();
}

Status RecordSet::value(std::string_view name, FieldValue* out) const {
  std::size_t c = 0, row = 0;
  if (Status s = locate(name, &c, &row); !s.ok()) return s;
  FieldText v = store_->cell(row, c);
  *out = v ? FieldValue(std::string(*v)) : std::nullopt;
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
  if (filter_) {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      if (shown(rows_[i])) visible_.push_back(static_cast<std::uint32_t>(i));
    }
  }
  cursor_ = 0;
}

void RecordSet::deleteAll() {
  if (!filter_ || visible_.size() == rows_.size()) {
    rows_.clear();
  } else {
    std::vector<bool> drop(rows_.size(), false);
    for (std::uint32_t i : visible_) drop[i] = true;
    std::vector<std::uint32_t> kept;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      if (!drop[i]) kept.push_back(rows_[i]);
    }
    rows_ = std::move(kept);
  }
  // The deleted rows were the visible ones; the filter now shows none of what is left.
  visible_.clear();
  cursor_ = 0;
}

Status RecordSet::copyAllFrom(const RecordSet& source) {
  const bool share = canShare(source);
  const std::size_t count = source.recordCount();
  rows_.reserve(rows_.size() + count);
  for (std::size_t k = 0; k < count; ++k) {
    auto row = source.rows_[source.filter_ ? source.visible_[k] : k];
    if (share) {
      append(row);
    } else if (Status s = addCopy(source, row); !s.ok()) {
      return s;
    }
  }
  return Status::success();
}

void RecordSet::close() {
  rows_.clear();
  visible_.clear();
  filter_.reset();
  cursor_ = 0;
  store_ = std::make_shared<TextRows>(fields_.size());
}

}  // namespace sccevtmon
