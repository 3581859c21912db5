#include "app/ReportText.h"

#include <QStringList>

#include "convert/OptionTable.h"

namespace vantrel {

namespace {

QString fileName(const std::string& path) {
    const QString text = QString::fromStdString(path);
    return text.mid(text.lastIndexOf(QLatin1Char('/')) + 1);
}

QString count(std::size_t n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

}  // namespace

QString progressText(const BatchProgress& progress) {
    QString text = QStringLiteral("Converting %1").arg(fileName(progress.moviePath));
    if (progress.framesTotal > 0) {
        text +=
            QStringLiteral(": frame %1 of %2").arg(progress.framesDone).arg(progress.framesTotal);
    }
    return text + QStringLiteral(", job %1 of %2").arg(progress.job + 1).arg(progress.jobCount);
}

QString summaryLine(const ConvertReport& report) {
    std::size_t written = 0, failed = 0, skipped = 0, stopped = 0, unreadable = 0, problems = 0;
    const JobOutcome* onlyProblem = nullptr;
    for (const JobOutcome& job : report.jobs) {
        switch (job.status) {
            case JobOutcome::Status::Converted:
                ++written;
                break;
            case JobOutcome::Status::Failed:
                ++failed;
                break;
            case JobOutcome::Status::Skipped:
                ++skipped;
                break;
            case JobOutcome::Status::Stopped:
            case JobOutcome::Status::Planned:
                ++stopped;
                break;
        }
        if (isProblem(job)) {
            ++problems;
            onlyProblem = &job;
        }
        unreadable += job.missingPictures.size();
    }
    QStringList parts{count(written, "movie written", "movies written")};
    if (failed > 0) parts << count(failed, "job failed", "jobs failed");
    if (skipped > 0) parts << count(skipped, "job skipped", "jobs skipped");
    if (stopped > 0) parts << count(stopped, "job not converted", "jobs not converted");
    if (unreadable > 0) {
        parts << count(unreadable, "picture could not be read", "pictures could not be read");
    }
    QString line = parts.join(QStringLiteral(", "));
    if (problems == 1) {
        line += QStringLiteral(": %1: %2")
                    .arg(fileName(onlyProblem->source),
                         QString::fromStdString(faultText(*problemFault(*onlyProblem), windowName)));
    }
    return report.stopped ? QStringLiteral("Stopped: ") + line : line;
}

QStringList problemLines(const ConvertReport& report) {
    QStringList lines;
    for (const JobOutcome& job : report.jobs) {
        if (!isProblem(job)) continue;
        lines << QStringLiteral("%1: %2").arg(QString::fromStdString(job.source),
                                              QString::fromStdString(faultText(*problemFault(job), windowName)));
    }
    return lines;
}

QString problemHeading(qsizetype problems) {
    return problems == 1 ? QStringLiteral("This job was not converted:")
                         : QStringLiteral("These jobs were not converted:");
}

QString warningDetails(const ConvertReport& report) {
    QStringList lines;
    for (const JobOutcome& job : report.jobs) {
        for (const Fault& missing : job.missingPictures) {
            lines << QString::fromStdString(faultText(missing, windowName));
        }
        for (const Fault& warning : job.warnings) {
            lines << QStringLiteral("%1: %2").arg(QString::fromStdString(job.source),
                                                  QString::fromStdString(faultText(warning, windowName)));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString soundDetails(const ConvertReport& report) {
    QStringList lines;
    for (const JobOutcome& job : report.jobs) {
        if (job.status != JobOutcome::Status::Converted) continue;
        QString line = QStringLiteral("%1: %2").arg(fileName(job.outputPath),
                                                    QString::fromStdString(soundText(job)));
        if (job.quality > 0) line += QStringLiteral(", quality %1").arg(job.quality);
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace vantrel
