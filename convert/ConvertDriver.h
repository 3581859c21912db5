#pragma once

#include <cstdint>
#include <optional>

#include "convert/BatchPlan.h"
#include "convert/ConvertObserver.h"
#include "convert/JobOutcome.h"
#include "convert/VantrelDoc.h"
#include "convert/VideoConversion.h"

namespace vantrel {

// The options a Convert command asks for once per batch.
struct ConvertOptions {
    bool includeAlpha = false;
    std::int32_t colorQuality = 90;
    float frameRate = 15.0f;
    bool outputHtml = true;
};

// Where the options come from: the desktop dialog or the command line.
class OptionsPrompt {
  public:
    virtual ~OptionsPrompt() = default;
    // Nothing means Cancel. The compression choice is stored straight into
    // `settings` the moment it is made (as the dialog's radio buttons do),
    // so it stays even when the prompt is then cancelled.
    virtual std::optional<ConvertOptions> ask(ConvertSettings& settings) = 0;
};

// The options settled before the batch: given on the command line, or
// already chosen in a dialog that ran before the batch was started.
class ChosenOptions : public OptionsPrompt {
  public:
    ChosenOptions(CompressionType compression, ConvertOptions options)
        : compression_(compression), options_(options) {}
    std::optional<ConvertOptions> ask(ConvertSettings& settings) override {
        settings.compression = compression_;
        return options_;
    }

  private:
    CompressionType compression_;
    ConvertOptions options_;
};

// The options as the settings hold them.
void applyOptions(const ConvertOptions& options, ConvertSettings& settings);

// The Convert command: asks for the options once, plans the batch
// (planBatch) and carries the plan out. The job list is unchanged.
// The report has one outcome per queued job, in batch order. The frames of
// a movie are read and encoded on `threads` threads (0: one per core); the
// files written do not depend on it.
ConvertReport convertAll(CVantrelDoc& doc, OptionsPrompt& prompt,
                         ConvertObserver* observer = nullptr,
                         const FrameSourceFactory& makeFrameSource = {}, unsigned threads = 0);

// Carries out a plan: every job it does not refuse is converted in turn,
// picture sequences and videos alike into the movie and page the plan
// names, the movie's folder made first where the plan says so. The first
// job to write into a folder first removes the temporary files interrupted
// runs left there (removeStaleTemporaries), each a warning of that job.
// Once the observer asks to stop, the rest are reported as not started.
ConvertReport carryOut(const BatchPlan& plan, const ConvertSettings& settings,
                       ConvertObserver* observer = nullptr,
                       const FrameSourceFactory& makeFrameSource = {}, unsigned threads = 0);

}  // namespace vantrel
