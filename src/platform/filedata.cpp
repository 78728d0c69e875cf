#include "platform/fileops_parts.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace velquin {

namespace {

// Errors by which copy_file_range and sendfile say "not between these two files": the next,
// plainer way of copying is tried. Anything else (no space, I/O error) ends the copy.
bool isUnsupported(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EBADF ||
           error == EPERM;
}

// One buffer per thread for the plain ways of copying and comparing, not one per file.
std::vector<char>& buffer(int which) {
    static thread_local std::array<std::vector<char>, 2> buffers;
    std::vector<char>& b = buffers[size_t(which)];
    if (b.empty())
        b.resize(1 << 20);
    return b;
}

// Chunks sized so that each takes about 20 ms on the drive at hand: small enough for the window
// to answer between them, large enough that fast drives are not slowed by the calls.
class ChunkSizer {
public:
    static constexpr qint64 kMin = 256 * 1024;
    static constexpr qint64 kMax = 64 * 1024 * 1024;
    qint64 size() const { return size_; }
    void start() { started_ = std::chrono::steady_clock::now(); }
    void moved(qint64 bytes) {
        const auto took = std::chrono::steady_clock::now() - started_;
        const qint64 us = std::chrono::duration_cast<std::chrono::microseconds>(took).count();
        if (bytes < size_)
            return; // a short chunk (end of a segment) says nothing about the speed
        if (us < 8000)
            size_ = qMin(size_ * 2, kMax);
        else if (us > 20000)
            size_ = qMax(kMin, qMax(size_ / 4, size_ * 20000 / us) & ~qint64(4095));
    }

private:
    qint64 size_ = 1024 * 1024;
    std::chrono::steady_clock::time_point started_;
};

// Copies the data of `in` to `out` in chunks, telling `progress` after each and asking `check`
// (may the copy go on?) between them. Holes of a sparse source stay holes.
struct DataCopy {
    DataCopy(SysCalls& c, int i, int o, const struct stat& s, CopyProgress* p, const std::function<int()>& k)
        : calls(c), in(i), out(o), source(s), progress(p), check(k) {}

    SysCalls& calls;
    int in;
    int out;
    const struct stat& source;
    CopyProgress* progress;
    const std::function<int()>& check;

    ChunkSizer sizer;
    bool useRange = true;
    bool useSendfile = true;
    qint64 pos = 0;    // offset of both files
    qint64 outEnd = 0; // the end of what was written to `out`

    int run() {
        // The copy reads in chunks small enough for the window to answer between them; told that
        // it reads straight through, the kernel reads ahead far enough that a file coming from
        // the disk still streams at the drive's speed. Only a hint: nothing fails without it, and
        // a file that fits in one chunk is read in one go anyway.
        if (source.st_size >= sizer.size())
            ::posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
        // Only a file that takes less room than its size has holes worth looking for; files
        // whose recorded size is wrong (those of /proc) are never looked at this way.
        const bool sparse = source.st_size > 0 && qint64(source.st_blocks) * 512 < qint64(source.st_size);
        if (sparse) {
            if (const int err = runSparse())
                return err;
        }
        // Plain to the end of the file: everything when it is not sparse, else what the file grew
        // by after its size was taken.
        if (const int err = stream(-1))
            return err;
        if (outEnd < pos && calls.ftruncate(out, pos) != 0)
            return errno; // a hole at the end
        return 0;
    }

    int runSparse() {
        const qint64 size = source.st_size;
        while (pos < size) {
            const long data = calls.lseek(in, pos, SEEK_DATA);
            if (data < 0) {
                if (errno == ENXIO)
                    break; // only a hole from here to the end
                return isUnsupported(errno) ? seekBoth(pos) : errno;
            }
            const long hole = calls.lseek(in, data, SEEK_HOLE);
            if (hole < 0)
                return errno;
            if (const int err = seekBoth(data))
                return err;
            if (const int err = stream(hole))
                return err;
            if (pos < hole)
                return 0; // the file shrank: its end came first
        }
        return seekBoth(qMax(pos, size));
    }

    int seekBoth(qint64 to) {
        if (calls.lseek(in, to, SEEK_SET) < 0 || calls.lseek(out, to, SEEK_SET) < 0)
            return errno;
        pos = to;
        return 0;
    }

    // Copies from `pos` up to `end` (-1: the end of the file).
    int stream(qint64 end) {
        while (end < 0 || pos < end) {
            qint64 want = sizer.size();
            if (end >= 0)
                want = qMin(want, end - pos);
            sizer.start();
            const qint64 moved = chunk(want);
            if (moved < 0)
                return int(-moved);
            if (moved == 0)
                return 0;
            pos += moved;
            outEnd = pos;
            sizer.moved(moved);
            if (check) {
                if (const int err = check())
                    return err;
            }
            if (progress && !progress->copied(pos, qMax(pos, qint64(source.st_size))))
                return ECANCELED;
        }
        return 0;
    }

    // Moves up to `want` bytes: the bytes moved, 0 at the end of the file, or -errno.
    qint64 chunk(qint64 want) {
        while (useRange || useSendfile) {
            const long n = useRange ? calls.copyFileRange(in, out, static_cast<unsigned long>(want))
                                    : calls.sendfile(out, in, static_cast<unsigned long>(want));
            if (n > 0)
                return n;
            if (n == 0) {
                // The kernel reached the end of a file it copied from; only a source that gave
                // nothing at all (files whose recorded size is 0, such as those of /proc) is read.
                if (pos > 0)
                    return 0;
                useRange = useSendfile = false;
                break;
            }
            const int err = errno;
            if (!isUnsupported(err))
                return -err;
            (useRange ? useRange : useSendfile) = false;
        }
        std::vector<char>& b = buffer(0);
        qint64 done = 0;
        while (done < want) {
            const long n = calls.read(
                in, b.data(), static_cast<unsigned long>(qMin<qint64>(qint64(b.size()), want - done)));
            if (n < 0)
                return -errno;
            if (n == 0)
                break;
            if (const int err = writeAll(calls, out, b.data(), n))
                return -err;
            done += n;
        }
        return done;
    }
};

} // namespace

int copyData(SysCalls& calls, int in, int out, const struct stat& source, CopyProgress* progress,
             const std::function<int()>& check) {
    DataCopy copy(calls, in, out, source, progress, check);
    return copy.run();
}

int sameContent(SysCalls& calls, int in, int out, qint64 size, CopyProgress* progress) {
    std::vector<char>& a = buffer(0);
    std::vector<char>& b = buffer(1);
    qint64 pos = 0;
    for (;;) {
        const long n = calls.pread(in, a.data(), a.size(), pos);
        if (n < 0)
            return errno;
        long got = 0;
        while (got < n) {
            const long m = calls.pread(out, b.data() + got, static_cast<unsigned long>(n - got), pos + got);
            if (m < 0)
                return errno;
            if (m == 0)
                return EBUSY; // the source is longer than the copy
            got += m;
        }
        if (n == 0) {
            char probe;
            const long m = calls.pread(out, &probe, 1, pos);
            return m < 0 ? errno : m == 0 ? 0 : EBUSY;
        }
        if (std::memcmp(a.data(), b.data(), size_t(n)) != 0)
            return EBUSY;
        pos += n;
        if (progress && !progress->copied(qMax(pos, size), qMax(pos, size)))
            return ECANCELED;
    }
}

} // namespace velquin
