// The jobs kept on disk: DIR/NNNNNN.bin (the bytes as received), NNNNNN.png (the roll as
// tillvane-render draws it) and NNNNNN.json (what happened). Numbers continue after the
// highest in the folder; the oldest jobs go past the count kept. Every name is made
// here from the job number; files are made with mode 0600.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "render/printer.h"

namespace tillvane::server {

// What a job was, for its .json file and the line on standard output.
struct JobRecord {
  uint64_t number = 0;
  std::string source;  // "127.0.0.1:40312", "[::1]:40312" or "serial:LINK"
  std::chrono::system_clock::time_point start, end;
  uint64_t bytes = 0;    // kept (and drawn)
  uint64_t dropped = 0;  // read past the size limit and dropped
  bool cut_short = false;
  std::string ended_by;  // "close", "idle", "cut", "reset", "stop"
  render::Report report;
  std::filesystem::path bin, png;  // png empty when none was written
};

// The record as one line of JSON (no newline).
std::string JobJson(const JobRecord& job);
// The record as one line for people.
std::string JobLine(const JobRecord& job);

class JobStore {
 public:
  // The default folder: $XDG_DATA_HOME/tillvane/jobs, or ~/.local/share/tillvane/jobs.
  static std::filesystem::path DefaultFolder();

  // Makes the folder if needed and proves it can be written. Empty and `error` (naming
  // the folder) when it cannot.
  static std::unique_ptr<JobStore> Open(const std::filesystem::path& folder, uint64_t keep,
                                        std::string* error);

  const std::filesystem::path& folder() const { return folder_; }
  // A new job's number and its .bin file, opened for writing; false and `error` when
  // the file cannot be made.
  bool Begin(JobRecord* job, int* bin_fd, std::string* error);
  // The name of a job's file with the given extension ("bin", "png", "json").
  std::filesystem::path PathOf(uint64_t number, const char* extension) const;
  // Opens a new file of the job for writing, mode 0600; -1 on failure.
  int Create(const std::filesystem::path& path) const;
  // Writes the .json of a finished job and removes the oldest jobs past the count kept.
  bool Finish(const JobRecord& job, std::string* error);

 private:
  JobStore(std::filesystem::path folder, uint64_t keep, uint64_t next)
      : folder_(std::move(folder)), keep_(keep), next_(next) {}
  void Prune();

  std::filesystem::path folder_;
  uint64_t keep_;
  uint64_t next_;
};

// A job number from a file name of the store ("000123.bin" -> 123), or none.
std::optional<uint64_t> JobNumberOf(const std::string& file_name);

}  // namespace tillvane::server
