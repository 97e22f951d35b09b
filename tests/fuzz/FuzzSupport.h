#pragma once

// Shared pieces of the fuzz harnesses: a checked property that stops the run
// where it fails, a cursor over the input bytes, the Qt application and the
// run-time folder every harness needs, and scratch files for the parsers
// that only read from disk.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

// A broken property is a finding: print what broke and abort, so that
// libFuzzer keeps the input and the replay fails.
#define FUZZ_CHECK(condition, what)                                                                          \
    do                                                                                                       \
    {                                                                                                        \
        if (!(condition))                                                                                    \
        {                                                                                                    \
            std::fprintf(stderr, "fuzz property broken: %s\n  at %s:%d: %s\n", what, __FILE__, __LINE__,     \
                         #condition);                                                                        \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

namespace FuzzSupport
{

// Takes bytes from the front of the input; past the end every byte is 0.
class Input
{
public:
    Input(const std::uint8_t* data, std::size_t size)
        : mData(data)
        , mSize(size)
    {
    }

    std::uint8_t byte() { return mPos < mSize ? mData[mPos++] : 0; }
    QByteArray bytes(std::size_t count)
    {
        const std::size_t n = std::min(count, remaining());
        QByteArray out(reinterpret_cast<const char*>(mData + mPos), static_cast<qsizetype>(n));
        mPos += n;
        return out;
    }
    QByteArray rest() { return bytes(remaining()); }
    std::size_t remaining() const { return mSize - mPos; }
    bool empty() const { return mPos >= mSize; }

private:
    const std::uint8_t* mData;
    std::size_t mSize;
    std::size_t mPos = 0;
};

inline QByteArray whole(const std::uint8_t* data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// One application object for the process: timers, threads and queued
// signals need it. Intentionally never destroyed, as in a real program's main.
inline void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "orvik-fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* application = new QCoreApplication(argc, argv);
    (void)application;
}

// The folder with Resources/ (schemas) beside the executables, where the
// programs themselves run.
inline void enterRuntimeDir()
{
#ifdef ORVIK_FUZZ_RUNTIME_DIR
    if (chdir(ORVIK_FUZZ_RUNTIME_DIR) != 0)
    {
        std::perror("chdir " ORVIK_FUZZ_RUNTIME_DIR);
        std::abort();
    }
#endif
}

inline QString sourcePath(const char* relative)
{
#ifdef ORVIK_FUZZ_SOURCE_DIR
    return QStringLiteral(ORVIK_FUZZ_SOURCE_DIR "/") + QString::fromLatin1(relative);
#else
    return QString::fromLatin1(relative);
#endif
}

// A file of this process named `name`, holding `bytes`: several fuzzers may
// run side by side, so the process id is part of the name.
inline QString scratchFile(const QString& name, const QByteArray& bytes)
{
    const QString path =
        QDir::tempPath() + QStringLiteral("/orvik-fuzz-%1-").arg(QCoreApplication::applicationPid()) + name;
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "scratch file can be written");
    FUZZ_CHECK(file.write(bytes) == bytes.size(), "scratch file takes every byte");
    file.close();
    return path;
}

// Set ORVIK_FUZZ_VERBOSE=1 to see why an input was refused (seed work).
inline void note(const std::string& text)
{
    static const bool verbose = qEnvironmentVariableIntValue("ORVIK_FUZZ_VERBOSE") != 0;
    if (verbose)
        std::fprintf(stderr, "%s\n", text.c_str());
}

} // namespace FuzzSupport
