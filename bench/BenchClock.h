#pragma once

// What every benchmark measures with: processor time of the whole process (user + system, as the sqlite3
// shell's timer counts it) unless BENCH_CLOCK=wall asks for wall-clock time.

#include <QElapsedTimer>
#include <QString>

#include <sys/resource.h>

namespace bench {

inline bool wallClock()
{
    return qEnvironmentVariable("BENCH_CLOCK") == QLatin1String("wall");
}

inline double processorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Milliseconds since it was made, on the clock chosen above.
class Stopwatch
{
public:
    Stopwatch()
    {
        m_wall.start();
        m_cpuStart = processorSeconds();
    }
    double elapsedMs() const
    {
        return wallClock() ? double(m_wall.nsecsElapsed()) / 1e6 : (processorSeconds() - m_cpuStart) * 1000.0;
    }

private:
    QElapsedTimer m_wall;
    double m_cpuStart = 0;
};

// The loadable extension that gives the sqlite3 shell the application's collations: BENCH_SQLITE_EXTENSION,
// or the one this build made (empty when none).
inline QString sqliteExtensionPath()
{
    const QString configured = qEnvironmentVariable("BENCH_SQLITE_EXTENSION");
    if (!configured.isEmpty()) {
        return configured;
    }
#ifdef TOLLBOOK_SQLITE_EXTENSION
    return QStringLiteral(TOLLBOOK_SQLITE_EXTENSION);
#else
    return QString();
#endif
}

} // namespace bench
