#include "platform/table/dbf_header.h"

#include <cctype>
#include <cstring>

#include "platform/table/table_error.h"

namespace xbase {
namespace {

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

[[noreturn]] void corrupt(const std::string& path, const std::string& what) {
  throw TableError(kErrCorruption, 0, path, what);
}

bool known_version(uint8_t v) {
  switch (v) {
    case 0x03:  // dBase III / Clipper
    case 0x83:  // with DBT memo
    case 0xF5:  // FoxPro with FPT memo
    case 0xE5:  // SIx with SMT memo
    case 0x30:  // Visual FoxPro
    case 0x31:  // Visual FoxPro, autoincrement
    case 0x32:  // Visual FoxPro, varchar/blob
    case 0x07:  // DBFNTX writing ANSI text
    case 0x87:
    case 0x04:  // dBase IV without memo
      return true;
    default:
      return false;
  }
}

bool valid_name_char(unsigned char c) { return std::isalnum(c) || c == '_'; }

}  // namespace

int DbfHeader::computed_record_length() const {
  int n = 1;
  for (const auto& f : fields) n += f.length;
  return n;
}

uint16_t dbf_header_length(const uint8_t* first32) { return le16(first32 + 8); }

DbfHeader parse_dbf_header(const std::vector<uint8_t>& b, uint64_t file_size,
                           const std::string& path) {
  if (b.size() < 32 || file_size < 32)
    corrupt(path, "header truncated: the file has " + std::to_string(file_size) +
                      " bytes, a header needs at least 32");
  DbfHeader h;
  h.version = b[0];
  if (h.version == 0x06 || h.version == 0x86 || h.version == 0xE6 || h.version == 0xF6)
    corrupt(path, "encrypted table (version byte " + std::to_string(h.version) + ")");
  if (!known_version(h.version)) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", h.version);
    corrupt(path, std::string("not a DBF table: unknown version byte ") + buf);
  }
  h.year = b[1] >= 100 ? 1900 + b[1] : (b[1] < 80 ? 2000 + b[1] : 1900 + b[1]);
  h.month = b[2];
  h.day = b[3];
  h.record_count = le32(&b[4]);
  h.header_length = le16(&b[8]);
  h.record_length = le16(&b[10]);
  h.table_flags = b[28];
  h.language_driver = b[29];

  if (h.header_length < 32 + 32 + 1)
    corrupt(path, "header length " + std::to_string(h.header_length) +
                      " is too small for even one field");
  if (h.header_length > file_size)
    corrupt(path, "the file (" + std::to_string(file_size) +
                      " bytes) is shorter than its header length " +
                      std::to_string(h.header_length));
  if (b.size() < h.header_length) corrupt(path, "header truncated");

  size_t pos = 32;
  int offset = 1;
  bool terminated = false;
  while (pos < h.header_length) {
    if (b[pos] == 0x0D) {
      terminated = true;
      break;
    }
    if (pos + 32 > h.header_length) break;
    const uint8_t* d = &b[pos];
    FieldInfo f;
    size_t n = 0;
    while (n < 10 && d[n] != 0) ++n;
    f.name.assign(reinterpret_cast<const char*>(d), n);
    int index = static_cast<int>(h.fields.size()) + 1;
    if (f.name.empty()) corrupt(path, "field descriptor " + std::to_string(index) + " has no name");
    for (unsigned char c : f.name)
      if (!valid_name_char(c))
        corrupt(path, "field descriptor " + std::to_string(index) +
                          " has an invalid name (garbage in the header)");
    for (auto& c : f.name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    f.type = static_cast<char>(d[11]);
    if (!std::isalpha(static_cast<unsigned char>(f.type)) && f.type != '@' && f.type != '+')
      corrupt(path, "field " + f.name + " has an invalid type byte");
    f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(f.type)));
    f.length = d[16];
    f.decimals = d[17];
    if (f.type == 'C' && !h.is_vfp()) {
      f.length = d[16] + 256 * d[17];  // Clipper's long character fields
      f.decimals = 0;
    }
    if (f.length == 0) corrupt(path, "field " + f.name + " has length 0");
    if ((f.type == 'N' || f.type == 'F') && f.decimals >= f.length && f.decimals != 0)
      corrupt(path, "field " + f.name + " has more decimals than width");
    if (f.type == 'D' && f.length != 8 && f.length != 3 && f.length != 4)
      corrupt(path, "date field " + f.name + " has length " + std::to_string(f.length));
    f.offset = offset;
    offset += f.length;
    h.fields.push_back(f);
    pos += 32;
  }
  if (!terminated)
    corrupt(path, "header length " + std::to_string(h.header_length) +
                      " does not match its field descriptors (no end-of-header mark after " +
                      std::to_string(h.fields.size()) + " fields)");
  if (h.fields.empty()) corrupt(path, "the table has no fields");
  if (h.record_length != h.computed_record_length())
    corrupt(path, "record length " + std::to_string(h.record_length) +
                      " does not match the fields (" + std::to_string(h.computed_record_length()) +
                      " bytes)");
  h.raw.assign(b.begin(), b.begin() + h.header_length);
  return h;
}

DbfHeader make_dbf_header(const std::vector<FieldInfo>& fields, const std::string& path) {
  if (fields.empty()) throw TableError(kErrCreate, 0, path, "a table needs at least one field");
  if (fields.size() > 2046) throw TableError(kErrCreate, 0, path, "too many fields");
  DbfHeader h;
  h.version = 0x03;
  h.header_length = static_cast<uint16_t>(32 + 32 * fields.size() + 2);
  h.raw.assign(h.header_length, 0);
  int offset = 1;
  for (size_t i = 0; i < fields.size(); ++i) {
    FieldInfo f = fields[i];
    for (auto& c : f.name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (f.name.empty() || f.name.size() > 10)
      throw TableError(kErrCreate, 0, path,
                       "field name '" + f.name + "' must have 1 to 10 letters");
    for (unsigned char c : f.name)
      if (!valid_name_char(c))
        throw TableError(kErrCreate, 0, path, "field name '" + f.name + "' is not valid");
    for (const auto& other : h.fields)
      if (other.name == f.name)
        throw TableError(kErrCreate, 0, path, "field " + f.name + " appears twice");
    switch (f.type) {
      case 'C':
        if (f.length < 1 || f.length > 65535)
          throw TableError(kErrCreate, 0, path, "field " + f.name + ": width out of range");
        f.decimals = 0;
        break;
      case 'N':
      case 'F':
        if (f.length < 1 || f.length > 255 || f.decimals < 0 ||
            (f.decimals > 0 && f.decimals > f.length - 2))
          throw TableError(kErrCreate, 0, path,
                           "field " + f.name + ": width/decimals out of range");
        break;
      case 'D':
        f.length = 8;
        f.decimals = 0;
        break;
      case 'L':
        f.length = 1;
        f.decimals = 0;
        break;
      default:
        throw TableError(
            kErrCreate, 0, path,
            std::string("field ") + f.name + ": type '" + f.type + "' cannot be created");
    }
    uint8_t* d = &h.raw[32 + 32 * i];
    std::memcpy(d, f.name.data(), f.name.size());
    d[11] = static_cast<uint8_t>(f.type);
    if (f.type == 'C') {
      d[16] = static_cast<uint8_t>(f.length & 0xFF);
      d[17] = static_cast<uint8_t>(f.length >> 8);
    } else {
      d[16] = static_cast<uint8_t>(f.length);
      d[17] = static_cast<uint8_t>(f.decimals);
    }
    f.offset = offset;
    offset += f.length;
    h.fields.push_back(f);
  }
  if (offset > 65535) throw TableError(kErrCreate, 0, path, "record longer than 65535 bytes");
  h.raw[32 + 32 * fields.size()] = 0x0D;
  h.raw[0] = 0x03;
  h.record_length = static_cast<uint16_t>(offset);
  put16(&h.raw[8], h.header_length);
  put16(&h.raw[10], h.record_length);
  return h;
}

std::vector<uint8_t> serialize_dbf_header(const DbfHeader& h, uint32_t record_count, int y, int m,
                                          int d) {
  std::vector<uint8_t> out = h.raw;
  // Visual FoxPro keeps a two-digit year; the other variants count from 1900.
  out[1] = static_cast<uint8_t>(h.is_vfp() ? y % 100 : y - 1900);
  out[2] = static_cast<uint8_t>(m);
  out[3] = static_cast<uint8_t>(d);
  put32(&out[4], record_count);
  return out;
}

}  // namespace xbase
