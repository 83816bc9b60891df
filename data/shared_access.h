// Opening the tables that other workstations share: OPDBF (a table of the program or the
// target data folder as a data server), OPSERVER (the Zas or Pozad data server), OPAREA (a
// table into the current work area under an alias) and OPAKOVAT (the Retry/Cancel question).
// Each explains a failure to the user itself; none retries without the user's Retry.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/table/db_server.h"
#include "platform/window/window.h"

namespace data {

// The caption of every refusal.
inline constexpr const char* kRefusedCaption = "Akce odmítnuta!";

// Selector 1 (or 0) opens from the target data folder, any other value from the program
// folder. Returns nothing after telling the user why.
std::unique_ptr<xbase::DbServer> OPDBF(std::uint8_t folder, const std::string& table, bool shared,
                                       bool read_only);

// "ZAS" or "POZAD" (letter case is ignored). Returns nothing after the warning naming the
// class. Any other name is a programming error (std::invalid_argument).
std::unique_ptr<xbase::DbServer> OPSERVER(std::string_view class_name, bool shared, bool read_only);

// The same for a known class, typed: OPSERVER<Zas>(false, false).
template <class Server>
std::unique_ptr<Server> OPSERVER(bool shared, bool read_only);

// Opens table (a bare name resolves in the table layer's default folder) into the current
// work area, read-write with the default driver. While the table is busy it asks OPAKOVAT;
// false after Cancel. Failures other than a sharing conflict throw TableError.
bool OPAREA(const std::string& table, bool shared, const std::string& alias);

// True when the user chose Retry.
bool OPAKOVAT(ui::Owner owner);

namespace detail {
// Keeps server when it opened; otherwise warns (owner: the main window), closes it and
// returns false.
bool server_opened(xbase::DbServer& server, std::string_view class_name);
}  // namespace detail

template <class Server>
std::unique_ptr<Server> OPSERVER(bool shared, bool read_only) {
  auto server = std::make_unique<Server>(std::string(), shared, read_only);
  if (!detail::server_opened(*server, Server::kClassName)) return nullptr;
  return server;
}

}  // namespace data
