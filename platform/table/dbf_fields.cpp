// DbfTable field access: the stored bytes, their values, and the memo file beside the table.
//
// FPT memo file (FoxPro): 512-byte header, next free block BE u32 at 0, block size BE u16 at 6;
// a memo starts at block*size with BE u32 type and BE u32 length, then its bytes.
// DBT memo file (dBase III): 512-byte blocks, a text ends at 0x1A.
#include <cstring>

#include "platform/table/dbf_table.h"
#include "platform/table/field_codec.h"
#include "platform/table/settings.h"
#include "platform/table/table_error.h"
#include "platform/text/codepage.h"

namespace xbase {
namespace {

int must_find(const DbfTable& t, std::string_view name) {
  int i = t.field_index(name);
  if (i < 0) throw TableError(kErrNoTable, 0, t.path(), "no field named " + std::string(name));
  return i;
}

uint32_t be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

}  // namespace

std::string DbfTable::raw_bytes(int index) const {
  const FieldInfo& f = header_.fields.at(static_cast<size_t>(index));
  return std::string(&rec_[static_cast<size_t>(f.offset)], static_cast<size_t>(f.length));
}

Value DbfTable::raw_value(int index) const {
  const FieldInfo& f = header_.fields.at(static_cast<size_t>(index));
  return field_value(
      f, std::string_view(&rec_[static_cast<size_t>(f.offset)], static_cast<size_t>(f.length)));
}

bool DbfTable::append_raw_text(int index, std::string& out) const {
  return append_text_field(header_.fields.at(static_cast<size_t>(index)), rec_.data(), out);
}

Value DbfTable::get(std::string_view field) const {
  int i = must_find(*this, field);
  Value v = raw_value(i);
  if (v.type() == Value::Type::kChar) return Value::text(cp_->to_utf8(v.str()));
  return v;
}

std::string DbfTable::get_text(std::string_view field) const {
  int i = must_find(*this, field);
  const FieldInfo& f = header_.fields[static_cast<size_t>(i)];
  Value v = raw_value(i);
  switch (f.type) {
    case 'N':
    case 'F': {
      auto s = format_number(v.num(), f.length, f.decimals);
      std::string t = s ? *s : raw_bytes(i);
      return t.substr(std::min(t.find_first_not_of(' '), t.size()));
    }
    case 'D':
      return v.date_value().empty() ? "" : v.date_value().dtos();
    case 'L':
      return v.log() ? "T" : "F";
    case 'M':
      return cp_->to_utf8(memo(i));
    case 'C': {
      const std::string& b = v.str();
      return cp_->to_utf8(std::string_view(b).substr(0, b.find_last_not_of(' ') + 1));
    }
    default:
      return cp_->to_utf8(v.str());
  }
}

void DbfTable::put_raw(int index, std::string_view bytes) {
  if (eof_) throw TableError(kErrWrite, 0, path_, "write at end of file (no current record)");
  const FieldInfo& f = header_.fields.at(static_cast<size_t>(index));
  mark_hot();
  std::string fitted = fit_text(bytes, f.length);
  std::memcpy(&rec_[static_cast<size_t>(f.offset)], fitted.data(), fitted.size());
}

void DbfTable::put(std::string_view field, const Value& v) {
  int i = must_find(*this, field);
  const FieldInfo& f = header_.fields[static_cast<size_t>(i)];
  auto mismatch = [&]() {
    return TableError(
        kErrDataType, 0, path_,
        "field " + f.name + " (type " + std::string(1, f.type) + ") cannot take this value");
  };
  switch (f.type) {
    case 'C':
      if (v.type() != Value::Type::kChar) throw mismatch();
      put_raw(i, cp_->from_utf8(v.str()));
      return;
    case 'N':
    case 'F': {
      if (v.type() != Value::Type::kNumber) throw mismatch();
      auto s = format_number(v.num(), f.length, f.decimals);
      if (!s)
        throw TableError(kErrDataWidth, 0, path_,
                         "record " + std::to_string(recno_) + ": the number does not fit field " +
                             f.name + " (N " + std::to_string(f.length) + "," +
                             std::to_string(f.decimals) + ")");
      put_raw(i, *s);
      return;
    }
    case 'D':
      if (v.type() != Value::Type::kDate) throw mismatch();
      if (f.length != 8) throw mismatch();
      put_raw(i, v.date_value().dtos());
      return;
    case 'L':
      if (v.type() != Value::Type::kLogical) throw mismatch();
      put_raw(i, v.log() ? "T" : "F");
      return;
    default:
      throw TableError(kErrDataType, 0, path_,
                       "field " + f.name + " of type " + std::string(1, f.type) +
                           " is kept as it is and never written");
  }
}

std::string DbfTable::memo(int index) const {
  std::string ptr = raw_bytes(index);
  const FieldInfo& f = header_.fields.at(static_cast<size_t>(index));
  uint32_t block = 0;
  if (f.length == 4) {
    block = static_cast<uint8_t>(ptr[0]) | (static_cast<uint8_t>(ptr[1]) << 8) |
            (static_cast<uint8_t>(ptr[2]) << 16) |
            (static_cast<uint32_t>(static_cast<uint8_t>(ptr[3])) << 24);
  } else {
    size_t p = ptr.find_first_not_of(' ');
    if (p == std::string::npos) return "";
    for (; p < ptr.size() && ptr[p] >= '0' && ptr[p] <= '9'; ++p)
      block = block * 10 + (ptr[p] - '0');
  }
  if (block == 0) return "";
  bool fpt = header_.version != 0x83;
  if (!memo_tried_) {
    memo_tried_ = true;
    std::string stem =
        path_.substr(0, path_.size() - path_basename(path_).size()) + path_stem(path_);
    std::string memo_path = file_system().resolve_case(stem + (fpt ? ".fpt" : ".dbt"));
    OpenOptions o;
    o.share = ShareMode::kShared;
    o.read_only = true;
    try {
      memo_file_ = file_system().open(memo_path, o);
    } catch (const FileError& e) {
      throw TableError(kErrOpen, e.os_code(), memo_path, std::string("memo file: ") + e.what());
    }
  }
  if (!memo_file_) return "";
  if (fpt) {
    uint8_t head[8];
    if (memo_file_->read_at(0, head, 8) != 8)
      throw TableError(kErrCorruption, 0, memo_file_->path(), "memo header truncated");
    uint32_t block_size = (static_cast<uint32_t>(head[6]) << 8) | head[7];
    if (block_size == 0) block_size = 64;
    uint64_t off = static_cast<uint64_t>(block) * block_size;
    uint8_t mh[8];
    if (memo_file_->read_at(off, mh, 8) != 8)
      throw TableError(kErrCorruption, 0, memo_file_->path(),
                       "memo block " + std::to_string(block) + " beyond the end of the file");
    uint32_t len = be32(mh + 4);
    if (off + 8 + len > memo_file_->size())
      throw TableError(
          kErrCorruption, 0, memo_file_->path(),
          "memo block " + std::to_string(block) + " claims more bytes than the file has");
    std::string out(len, '\0');
    memo_file_->read_at(off + 8, out.data(), len);
    return out;
  }
  std::string out;
  uint64_t off = static_cast<uint64_t>(block) * 512;
  char buf[512];
  for (;;) {
    size_t got = memo_file_->read_at(off, buf, sizeof buf);
    if (got == 0) break;
    const char* end = static_cast<const char*>(std::memchr(buf, 0x1A, got));
    if (end) {
      out.append(buf, static_cast<size_t>(end - buf));
      break;
    }
    out.append(buf, got);
    off += got;
  }
  return out;
}

}  // namespace xbase
