// A file system that fails, or ends the process, at the Nth call that changes a file (write,
// truncate, sync, remove, rename), counting only files under a folder: an I/O error or a crash
// at any step of a commit, a checkpoint or a rebuild.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/file/file.h"

namespace testutil {

class FaultFs : public xbase::ForwardingFileSystem {
 public:
  enum class Fault { kError, kExit };
  FaultFs(xbase::FileSystem& inner, std::string under, uint64_t at, Fault fault)
      : ForwardingFileSystem(inner),
        st_(std::make_shared<State>(State{std::move(under), at, fault, 0, {}})) {}
  uint64_t calls() const { return st_->calls; }
  // The call numbers of the syncs of files whose path ends with suffix.
  std::vector<uint64_t> syncs(const std::string& suffix) const {
    std::vector<uint64_t> out;
    for (const auto& [n, path] : st_->syncs)
      if (path.size() >= suffix.size() && path.substr(path.size() - suffix.size()) == suffix)
        out.push_back(n);
    return out;
  }

  std::unique_ptr<xbase::File> open(const std::string& p, const xbase::OpenOptions& o) override {
    return std::make_unique<FaultFile>(inner_.open(p, o), st_);
  }
  bool remove(const std::string& p) override { return hit(*st_, p), inner_.remove(p); }
  bool rename(const std::string& a, const std::string& b) override {
    return hit(*st_, a), inner_.rename(a, b);
  }

 private:
  struct State {
    std::string under;
    uint64_t at;
    Fault fault;
    uint64_t calls;
    std::vector<std::pair<uint64_t, std::string>> syncs;
  };
  static void hit(State& s, const std::string& path) {
    if (path.compare(0, s.under.size(), s.under) != 0 || ++s.calls != s.at) return;
    if (s.fault == Fault::kExit) _exit(3);
    throw xbase::FileError(xbase::FileErrorKind::kIo, 5, path, path + ": injected I/O error");
  }
  class FaultFile : public xbase::File {
   public:
    FaultFile(std::unique_ptr<xbase::File> f, std::shared_ptr<State> s)
        : f_(std::move(f)), s_(std::move(s)) {}
    const std::string& path() const override { return f_->path(); }
    uint64_t size() override { return f_->size(); }
    size_t read_at(uint64_t off, void* buf, size_t n) override { return f_->read_at(off, buf, n); }
    void write_at(uint64_t off, const void* buf, size_t n) override {
      hit(*s_, path());
      f_->write_at(off, buf, n);
    }
    void truncate(uint64_t size) override {
      hit(*s_, path());
      f_->truncate(size);
    }
    void sync() override {
      hit(*s_, path());
      s_->syncs.emplace_back(s_->calls, path());
      f_->sync();
    }
    bool lock(uint64_t off, uint64_t len, bool ex) override { return f_->lock(off, len, ex); }
    void unlock(uint64_t off, uint64_t len) override { f_->unlock(off, len); }

   private:
    std::unique_ptr<xbase::File> f_;
    std::shared_ptr<State> s_;
  };
  std::shared_ptr<State> st_;
};

}  // namespace testutil
