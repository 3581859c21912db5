#include "app/JobTableModel.h"

#include <QBrush>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>

#include "convert/OptionTable.h"

namespace vantrel {

namespace {

QString fileName(const std::string& path) {
    const QString text = QString::fromStdString(path);
    return text.mid(text.lastIndexOf(QLatin1Char('/')) + 1);
}

QString soundColumn(const PlannedSound& sound) {
    switch (sound.choice) {
        case PlannedSound::Choice::Companion:
            return fileName(sound.companion);
        case PlannedSound::Choice::VideoOwn:
            return QStringLiteral("own");
        case PlannedSound::Choice::NoCompanion:
        case PlannedSound::Choice::VideoSoundOff:
            break;
    }
    return QStringLiteral("none");
}

}  // namespace

QString outcomeStatus(const JobOutcome& outcome, qint64 movieBytes) {
    const QString reason =
        outcome.fault ? QString::fromStdString(faultText(*outcome.fault, windowName)) : QString();
    switch (outcome.status) {
        case JobOutcome::Status::Converted: {
            QString text = QStringLiteral("converted, %1 bytes").arg(movieBytes);
            if (const Fault* problem = problemFault(outcome)) {
                text += QStringLiteral(": ") + QString::fromStdString(faultText(*problem, windowName));
            }
            return text;
        }
        case JobOutcome::Status::Skipped:
            return QStringLiteral("skipped: ") + reason;
        case JobOutcome::Status::Failed:
            return QStringLiteral("failed: ") + reason;
        case JobOutcome::Status::Stopped:
        case JobOutcome::Status::Planned:
            break;
    }
    return QStringLiteral("not converted: ") + reason;
}

QString outcomeTip(const JobOutcome& outcome) {
    QString tip = QString::fromStdString(outcomeLine(outcome, windowName));
    for (const std::string& line : warningLines(outcome, windowName)) {
        tip += QLatin1Char('\n') + QString::fromStdString(line);
    }
    return tip;
}

void removeJobs(JobList& jobs, std::vector<int> rows) {
    std::sort(rows.begin(), rows.end(), std::greater<>());
    const int sequences = int(jobs.folderJobs.size());
    for (const int row : rows) {
        if (row < 0) continue;
        if (row < sequences) {
            jobs.folderJobs.erase(std::next(jobs.folderJobs.begin(), row));
        } else if (std::size_t(row - sequences) < jobs.videoJobs.size()) {
            jobs.videoJobs.erase(jobs.videoJobs.begin() + (row - sequences));
        }
    }
}

JobTableModel::JobTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void JobTableModel::setPlan(const BatchPlan& plan) {
    beginResetModel();
    rows_.clear();
    rowOfId_.clear();
    rows_.reserve(plan.jobs.size());
    for (const PlannedJob& job : plan.jobs) {
        Row row;
        row.id = nextId_++;
        row.source = QString::fromStdString(job.source);
        if (const FolderJob* sequence = job.sequence()) {
            row.pictures = std::int32_t(sequence->pictures.size());
            if (!sequence->pictures.empty()) row.detailsPath = sequence->picturePath(0);
        } else {
            row.video = true;
            row.detailsPath = job.video()->path;
        }
        row.sound = soundColumn(job.sound);
        row.ownSound = job.sound.choice == PlannedSound::Choice::VideoOwn;
        row.moviePath = QString::fromStdString(job.moviePath);
        rowOfId_.insert(row.id, int(rows_.size()));
        rows_.push_back(std::move(row));
    }
    endResetModel();
}

void JobTableModel::setSettings(const ConvertSettings& settings) {
    settings_ = settings;
    if (!rows_.empty()) emit dataChanged(index(0, Frames), index(rowCount() - 1, Size));
}

std::optional<std::int32_t> JobTableModel::frames(const Row& row) const {
    if (!row.timing) return row.pictures;
    const std::variant<std::int32_t, Refusal> counted = videoMovieFrames(
        settings_, row.timing->picturesEnd, row.timing->length, row.detailsPath);
    const std::int32_t* frames = std::get_if<std::int32_t>(&counted);
    return frames != nullptr ? std::optional(*frames) : std::nullopt;
}

std::vector<JobTableModel::DetailsSource> JobTableModel::missingDetails() const {
    std::vector<DetailsSource> missing;
    for (const Row& row : rows_) {
        if (!row.detailsKnown && !row.detailsPath.empty()) {
            missing.push_back({row.id, row.detailsPath, row.video});
        }
    }
    return missing;
}

void JobTableModel::setDetails(const JobDetails& details) {
    const auto found = rowOfId_.constFind(details.id);
    if (found == rowOfId_.constEnd()) return;
    Row& row = rows_[std::size_t(*found)];
    if (row.detailsKnown) return;
    row.detailsKnown = true;
    row.timing = details.timing;
    row.width = details.width;
    row.height = details.height;
    if (row.ownSound && details.silent) row.sound = soundColumn(PlannedSound{});
    if (!details.thumbnail.isNull()) row.thumbnail = QPixmap::fromImage(details.thumbnail);
    rowChanged(std::size_t(*found), 0, ColumnCount - 1);
    emit detailsArrived(*found);
}

void JobTableModel::setWaiting() {
    for (Row& row : rows_) {
        row.state = JobState::Waiting;
        row.status = QStringLiteral("waiting");
        row.statusTip.clear();
        row.problem = false;
    }
    if (!rows_.empty()) emit dataChanged(index(0, Status), index(rowCount() - 1, Status));
}

void JobTableModel::setProgress(std::size_t job, std::int32_t framesDone,
                                std::int32_t framesTotal) {
    if (job >= rows_.size()) return;
    Row& row = rows_[job];
    if (row.state != JobState::Waiting && row.state != JobState::Converting) return;
    row.state = JobState::Converting;
    row.status = framesTotal > 0
                     ? QStringLiteral("converting: frame %1 of %2").arg(framesDone).arg(framesTotal)
                     : QStringLiteral("converting");
    rowChanged(job, Status, Status);
}

void JobTableModel::setOutcome(std::size_t job, const JobOutcome& outcome) {
    if (job >= rows_.size()) return;
    Row& row = rows_[job];
    switch (outcome.status) {
        case JobOutcome::Status::Converted:
            row.state = JobState::Converted;
            break;
        case JobOutcome::Status::Skipped:
            row.state = JobState::Skipped;
            break;
        case JobOutcome::Status::Failed:
            row.state = JobState::Failed;
            break;
        case JobOutcome::Status::Stopped:
        case JobOutcome::Status::Planned:
            row.state = JobState::Stopped;
            break;
    }
    if (!outcome.outputPath.empty()) row.moviePath = QString::fromStdString(outcome.outputPath);
    row.pagePath = QString::fromStdString(outcome.pagePath);
    const qint64 bytes =
        row.state == JobState::Converted ? QFileInfo(row.moviePath).size() : qint64{0};
    row.status = outcomeStatus(outcome, bytes);
    row.statusTip = outcomeTip(outcome);
    row.problem = isProblem(outcome);
    rowChanged(job, 0, ColumnCount - 1);
}

void JobTableModel::removeJobRows(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end(), std::greater<>());
    for (const int row : rows) {
        if (row < 0 || row >= rowCount()) continue;
        beginRemoveRows({}, row, row);
        rows_.erase(rows_.begin() + row);
        endRemoveRows();
    }
    rowOfId_.clear();
    for (std::size_t row = 0; row < rows_.size(); ++row) rowOfId_.insert(rows_[row].id, int(row));
}

void JobTableModel::rowChanged(std::size_t row, int firstColumn, int lastColumn) {
    emit dataChanged(index(int(row), firstColumn), index(int(row), lastColumn));
}

int JobTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int JobTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant JobTableModel::display(const Row& row, int column) const {
    switch (column) {
        case Source:
            return row.source;
        case Kind:
            return row.video ? QStringLiteral("video") : QStringLiteral("sequence");
        case Frames:
            if (const std::optional<std::int32_t> count = frames(row)) return QString::number(*count);
            return QString();
        case Size: {
            if (row.width <= 0) return QString();
            const PictureSize shown = fitInside(row.width, row.height, settings_.maxSize);
            return QStringLiteral("%1 x %2").arg(shown.width).arg(shown.height);
        }
        case Sound:
            return row.sound;
        case Status:
            return row.status;
        case Movie:
            return row.moviePath;
        default:
            return QString();
    }
}

QVariant JobTableModel::sortKey(const Row& row, int column) const {
    switch (column) {
        case Frames:
            return frames(row).value_or(-1);
        case Size:
            return qint64(row.width) * row.height;
        default:
            return display(row, column);
    }
}

QVariant JobTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Row& row = rows_[std::size_t(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return display(row, index.column());
        case kSortRole:
            return sortKey(row, index.column());
        case Qt::ToolTipRole:
            if (index.column() == Source || index.column() == Movie) {
                return display(row, index.column());
            }
            if (index.column() == Status && !row.statusTip.isEmpty()) return row.statusTip;
            return {};
        case Qt::DecorationRole:
            if (index.column() == Source && !row.thumbnail.isNull()) return row.thumbnail;
            return {};
        case Qt::ForegroundRole:
            // Rows that need the user's attention stand out.
            if (row.problem) return QBrush(Qt::darkRed);
            return {};
        case Qt::TextAlignmentRole:
            if (index.column() == Frames) return int(Qt::AlignRight | Qt::AlignVCenter);
            return {};
        default:
            return {};
    }
}

QVariant JobTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const char* const kTitles[ColumnCount] = {"Source", "Kind",   "Frames", "Size",
                                                     "Sound",  "Status", "Movie"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kTitles[section])
                                                 : QVariant();
}

}  // namespace vantrel
