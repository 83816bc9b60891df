// The key rules of an index that another program built and keeps using: the collation its
// stored keys are in, and the case mapping under which its key expression gives the stored
// bytes. An order is kept and sought in its owner's rules; one whose keys fit none that the
// layer knows is refused for writing, and so is an insert whose stored neighbours disagree.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/index/order.h"

namespace xbase {

class CodePage;

// Hands record recno, as the table holds it now, to visit; false when there is no such record.
using RecordReader =
    std::function<bool(uint32_t recno, const std::function<void(const RecordSource&)>& visit)>;

struct KeyRules {
  const Collation* collation = nullptr;  // character keys; nullptr: bytes
  CaseMapping case_mapping = CaseMapping::kCodePage;
  bool fits = true;
  std::string problem;  // when nothing fits: the first evidence found
};

// Reads the stored order of the keys (all of them when the index is small, runs spread over it
// when it is large) and the keys of a sample of records. The start-up collation wins every tie.
// Keys out of order are evidence against a collation; any other fault met on the way is damage
// and thrown as the index's own TableError.
KeyRules find_key_rules(Order& order, const Collation* startup, const CodePage& cp,
                        uint32_t record_count, const RecordReader& read);

// Puts the rules into force on the order (a refusal when they fit nothing) and notes an order
// kept in another collation than the start-up one for the run log.
void apply_key_rules(Order& order, const KeyRules& rules, const Collation* startup);

// Throws when the order may not be written: its damage error, or TableError with the Czech
// refusal.
void refuse_if_unfit(const Order& order);

// Before key goes into order: throws TableError with the Czech refusal when the order is
// refused, when its stored neighbours of key are out of order under its collation, or when they
// do not evaluate to their stored bytes.
// verified (may be null): neighbours already found to hold their evaluated key, by record
// number; one found is not read again, one read is added.
using VerifiedKeys = std::unordered_map<uint32_t, std::string>;
void check_insert(Order& order, const std::string& key, const CodePage& cp,
                  const RecordReader& read, VerifiedKeys* verified = nullptr);

// For a report line: "czech/codepage-case", "binary/ascii-case", or "none (why)".
std::string key_rules_text(const KeyRules& rules);

// The orders kept in another collation than the start-up one since the last reset, as
// "FILE (TAG): NAME".
std::vector<std::string> orders_kept_otherwise();
void reset_orders_kept_otherwise();

}  // namespace xbase
