#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "convert/BatchPlan.h"
#include "convert/JobOutcome.h"
#include "image/PictureScaler.h"

namespace vantrel {

// Where a video's pictures end and how long it lasts, in seconds.
struct VideoTiming {
    double picturesEnd = 0.0;
    double length = 0.0;
};

// What is learnt of a job by reading its first picture or opening its video,
// away from the window's thread.
struct JobDetails {
    std::uint64_t id = 0;  // the row it belongs to (JobTableModel::rowId)
    // Where a video's pictures end and its length, in seconds, as a run
    // reads them; none when it cannot be opened. Sequences know their frames.
    std::optional<VideoTiming> timing;
    std::int32_t width = 0;              // 0 when the picture could not be read
    std::int32_t height = 0;
    // A video that cannot be opened, or whose header shows no sound it could
    // take: its movie gets none.
    bool silent = false;
    QImage thumbnail;  // the first picture within kThumbnailSize; null when none
};

// The box a row's thumbnail fits in.
inline constexpr QSize kThumbnailSize(48, 36);

// Where a job stands, as its row shows it: Queued before any batch.
enum class JobState : std::uint8_t {
    Queued,
    Waiting,
    Converting,
    Converted,
    Skipped,
    Failed,
    Stopped
};

// The Status column of a finished job: "converted, 1234 bytes", "skipped:
// REASON", "failed: REASON", "not converted: REASON", where REASON is the
// fault's words (a converted job's own problem, such as a page not
// written, follows its size).
QString outcomeStatus(const JobOutcome& outcome, qint64 movieBytes);

// Its tip: the outcome's line and then every warning, one a line.
QString outcomeTip(const JobOutcome& outcome);

// Removes the jobs at these places of the list's order (sequences first,
// then videos; in any order, each once) from the job list.
void removeJobs(JobList& jobs, std::vector<int> rows);

// The rows of the details view: one per queued job, in the job list's order
// (which is the batch's), filled from the batch plan and then from what the
// details worker and the batch tell.
class JobTableModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column { Source, Kind, Frames, Size, Sound, Status, Movie, ColumnCount };
    // What the columns sort by: numbers by value, text by itself.
    static constexpr int kSortRole = Qt::UserRole + 1;

    explicit JobTableModel(QObject* parent = nullptr);

    // Replaces the rows with the plan's jobs; every row waits for its details.
    void setPlan(const BatchPlan& plan);
    // The settings the plan was made with: the movies' frames and sizes
    // follow them.
    void setSettings(const ConvertSettings& settings);

    // The file to read for a row's details: the first picture or the video;
    // empty when the sequence has none.
    struct DetailsSource {
        std::uint64_t id = 0;
        std::string path;
        bool video = false;
    };
    // The rows whose details have not arrived, in row order.
    std::vector<DetailsSource> missingDetails() const;
    // Fills the row the details belong to; those of rows gone are dropped. A
    // silent video planned with its own sound gets none.
    void setDetails(const JobDetails& details);

    // The batch: every row waits; the row of batch job `job` converts, then
    // has its outcome (its movie's size read from the file).
    void setWaiting();
    void setProgress(std::size_t job, std::int32_t framesDone, std::int32_t framesTotal);
    void setOutcome(std::size_t job, const JobOutcome& outcome);

    bool hasThumbnail(int row) const { return !rows_[std::size_t(row)].thumbnail.isNull(); }
    JobState state(int row) const { return rows_[std::size_t(row)].state; }
    // The movie and page of a row's job: planned, then as written (the page
    // empty when none was).
    QString moviePath(int row) const { return rows_[std::size_t(row)].moviePath; }
    QString pagePath(int row) const { return rows_[std::size_t(row)].pagePath; }

    // Removes the rows at these places (in any order, each once).
    void removeJobRows(std::vector<int> rows);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  signals:
    // Details arrived for a row that had none.
    void detailsArrived(int row);

  private:
    struct Row {
        std::uint64_t id = 0;
        QString source;
        bool video = false;
        std::string detailsPath;
        std::optional<std::int32_t> pictures;  // of a sequence, as planned
        std::optional<VideoTiming> timing;
        std::int32_t width = 0;
        std::int32_t height = 0;
        bool detailsKnown = false;
        QPixmap thumbnail;
        QString sound;
        bool ownSound = false;  // the plan gives a video its own sound
        QString moviePath;
        QString pagePath;
        JobState state = JobState::Queued;
        QString status;
        QString statusTip;
        bool problem = false;
    };

    // The frames of the row's movie, when known.
    std::optional<std::int32_t> frames(const Row& row) const;
    QVariant display(const Row& row, int column) const;
    QVariant sortKey(const Row& row, int column) const;
    void rowChanged(std::size_t row, int firstColumn, int lastColumn);

    std::vector<Row> rows_;
    QHash<std::uint64_t, int> rowOfId_;
    std::uint64_t nextId_ = 1;
    ConvertSettings settings_;
};

}  // namespace vantrel
