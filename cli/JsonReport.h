#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include <span>

#include "convert/JobIntake.h"
#include "convert/JobOutcome.h"
#include "convert/OptionTable.h"

namespace vantrel {

// Writes the batch as one JSON document: the program's version, the
// options the table's rows give a report key (in their report places), the items given that were not searched and one object per job
// in batch order. Every failure, skip, unreadable picture and warning
// carries its fault's stable code beside its words.
// File names are bytes, not text: a string whose bytes are not valid UTF-8
// is written with U+FFFD for each bad byte, and beside it a field of the
// same name plus "_bytes" holds the exact bytes in base64 (for a list, a
// list of the same length, null where the text is exact).
void writeJsonReport(std::ostream& out, const std::string& version, const BatchRequest& request,
                     const DropResult& drop, const ConvertReport& report,
                     std::span<const OptionRow> rows = optionTable());

// Where the report goes: nowhere (an empty path), standard output ("-", or
// a path that leads to it, such as /dev/stdout) or the place the path leads
// to, through any links. A regular file, or a new one, is only written when
// the batch ends, whole, through a temporary file renamed over it in its
// folder: until then an earlier report stays as it was, and a run killed
// before the end leaves none. A character device or a FIFO is opened at
// once and written to; anything else is refused. Everything is checked at
// once, so that a path that cannot take the report is caught before any
// work.
class JsonReportFile {
  public:
    explicit JsonReportFile(const std::string& path);
    ~JsonReportFile();
    JsonReportFile(const JsonReportFile&) = delete;
    JsonReportFile& operator=(const JsonReportFile&) = delete;

    // Empty when the report can be written, else why not.
    const std::string& error() const { return error_; }
    // The file it goes to; empty for none or standard output.
    std::string file() const { return place_ == Place::File ? target_ : std::string(); }
    // Where the lines about converted jobs go: standard error when the
    // report takes standard output, so that it holds the JSON alone.
    std::ostream& lines() const;
    // False when the report could not be written whole; `why` says why.
    bool write(const std::string& version, const BatchRequest& request, const DropResult& drop,
               const ConvertReport& report, Fault& why);

  private:
    enum class Place { None, StandardOutput, File, Stream };
    // 0 when the report can go where the path leads, else the errno why not.
    int find();

    std::string path_;
    Place place_ = Place::None;
    std::string target_;  // the regular file made or replaced
    int stream_ = -1;     // the device or FIFO, open from the start
    std::string error_;
};

}  // namespace vantrel
