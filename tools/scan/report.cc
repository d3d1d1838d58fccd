#include "tools/scan/report.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "sondrel/sondrel.h"
#include "tools/scan/path_text.h"

namespace sondrel::scan_tool {
namespace {

using Json = nlohmann::ordered_json;

std::string Megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.2f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

// The path as a JSON member: as it is when it is UTF-8, else in its escaped text form with its
// bytes beside it.
void PutPath(Json& object, const std::string& path) {
  if (IsValidUtf8(path)) {
    object["path"] = path;
  } else {
    object["path"] = EscapedPath(path);
    object["path_bytes"] = HexBytes(path);
  }
}

}  // namespace

Report::Report(std::ostream& out, std::ostream& err, ReportOptions options)
    : out_(out), err_(err), options_(options) {}

void Report::Add(const FileResult& result) {
  std::lock_guard<std::mutex> lock(mutex_);
  switch (result.kind) {
    case FileResult::Kind::Ok:
      ++totals_.files;
      totals_.bytes += result.bytes;
      break;
    case FileResult::Kind::Found:
      ++totals_.files;
      ++totals_.infected;
      totals_.bytes += result.bytes;
      break;
    case FileResult::Kind::Error:
      ++totals_.errors;
      break;
    case FileResult::Kind::NotScanned:
      ++totals_.notScanned;
      break;
    case FileResult::Kind::Skipped:
      ++totals_.skipped;
      break;
  }
  const bool quiet = options_.infectedOnly && (result.kind == FileResult::Kind::Ok ||
                                               result.kind == FileResult::Kind::Skipped);
  if (quiet) {
    return;
  }
  if (beforeWrite_) {
    beforeWrite_();
  }
  if (options_.json) {
    WriteJson(result);
  } else {
    WriteLine(result);
  }
}

void Report::WriteLine(const FileResult& result) {
  const std::string path = EscapedPath(result.path);
  switch (result.kind) {
    case FileResult::Kind::Ok:
      out_ << path << ": OK"
           << ((result.flags & SONDREL_DISINFECT_FLAG_REBOOT_REQUIRED) != 0 && options_.disinfect
                   ? " (reboot required)"
                   : "")
           << "\n";
      break;
    case FileResult::Kind::Found:
      out_ << path << ": " << result.threat << " FOUND\n";
      break;
    case FileResult::Kind::Error:
    case FileResult::Kind::NotScanned:
      out_ << path << ": ERROR " << result.note << "\n";
      break;
    case FileResult::Kind::Skipped:
      // Not a result: a note beside the results.
      err_ << "sondrel-scan: " << path << ": skipped, " << result.note << "\n";
      break;
  }
  out_.flush();
}

void Report::WriteJson(const FileResult& result) {
  Json line;
  PutPath(line, result.path);
  line["result"] = KindName(result.kind);
  line["threat"] = result.kind == FileResult::Kind::Found ? Json(result.threat) : Json(nullptr);
  line["status"] = result.status;
  line["verdict"] = result.verdict;
  line["flags"] = result.flags;
  line["bytes"] = result.bytes;
  line["milliseconds"] = result.milliseconds;
  if (!result.note.empty()) {
    line["note"] = result.note;
  }
  out_ << line.dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
  out_.flush();
}

void Report::Fail(const std::string& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failed_) {
    return;
  }
  failed_ = true;
  failure_ = message;
  if (beforeWrite_) {
    beforeWrite_();
  }
  err_ << "sondrel-scan: " << message << "\n";
}

Totals Report::totals() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return totals_;
}

void Report::WriteSummary(std::chrono::steady_clock::duration elapsed) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (beforeWrite_) {
    beforeWrite_();
  }
  const double seconds = std::chrono::duration<double>(elapsed).count();
  const double rate = seconds > 0 ? static_cast<double>(totals_.bytes) / 1e6 / seconds : 0;
  if (options_.json) {
    Json summary{{"files", totals_.files},       {"infected", totals_.infected},
                 {"errors", totals_.errors},     {"not_scanned", totals_.notScanned},
                 {"skipped", totals_.skipped},   {"bytes", totals_.bytes},
                 {"seconds", seconds},           {"mb_per_second", rate},
                 {"exit_code", ExitCodeLocked()}};
    if (failed_) {
      summary["failure"] = failure_;
    }
    out_ << Json{{"summary", summary}}.dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
    out_.flush();
    return;
  }
  char time[64];
  std::snprintf(time, sizeof(time), "%.3f sec", seconds);
  char speed[32];
  std::snprintf(speed, sizeof(speed), "%.2f MB/s", rate);
  out_ << "\n----------- SCAN SUMMARY -----------\n"
       << "Scanned files: " << totals_.files << "\n"
       << "Infected files: " << totals_.infected << "\n"
       << "Errors: " << totals_.errors << "\n"
       << "Not scanned: " << totals_.notScanned << "\n"
       << "Data scanned: " << Megabytes(totals_.bytes) << "\n"
       << "Time: " << time << "\n"
       << "Rate: " << speed << "\n";
  out_.flush();
}

int Report::ExitCode() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ExitCodeLocked();
}

int Report::ExitCodeLocked() const {
  if (totals_.infected > 0) {
    return 1;
  }
  return failed_ || totals_.errors > 0 || totals_.notScanned > 0 ? 2 : 0;
}

}  // namespace sondrel::scan_tool
