// streams.h -- the byte streams the engine reads the damaged archive from and
// writes the repaired one to. The engine knows nothing else of files, so tests
// can hand it memory streams and streams that fail on purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tessary {

// One file of an archive that comes in several files, where a stream over
// the whole set places it. A missing part, or one shorter than the set's
// other parts, still takes a whole part's room, so that every later part
// keeps its place; the bytes of its room that its file does not hold read
// as zeros. Zeros begin no record, and the engine grades every entry that
// reaches into them as damaged (input_parts.h).
struct TInputPart {
    std::string Name;    // its file's path
    int64_t Start = 0;   // of its room in the stream
    int64_t Length = 0;  // of its room
    int64_t Present = 0; // bytes its file holds, from Start on
    bool Found = false;  // its file exists
    bool Missing() const { return !Found; }
    bool Short() const { return Found && Present < Length; }
};

class TInputStream {
public:
    virtual ~TInputStream() = default;
    virtual int64_t Size() const = 0;
    // Reads up to `count` bytes at `offset`; returns how many were read, 0 only
    // at or past the end. A stream that cannot be read throws EArcsalveError
    // (ReadInput) naming the offset; it never passes off a failure as data.
    virtual size_t ReadAt(int64_t offset, void* buffer, size_t count) = 0;
    // Throws EArcsalveError (ReadInput) when the stream's file was changed
    // since it was opened; used before reads that bypass ReadAt.
    virtual void CheckUnchanged() const {}
    // The file's name for error messages; empty for streams without one.
    virtual std::string Name() const { return {}; }
    // True when `path` names this very stream's file (another spelling, a
    // symbolic or a hard link), so that the repaired archive never replaces it.
    virtual bool IsSameFile(const std::string& path) const {
        (void)path;
        return false;
    }
    // A descriptor the kernel can copy from directly, or -1.
    virtual int NativeHandle() const { return -1; }
    // The files of an archive in parts, in order; empty for a single file.
    virtual const std::vector<TInputPart>& Parts() const;
};

class TOutputStream {
public:
    virtual ~TOutputStream() = default; // discards the output unless committed
    virtual int64_t Position() const = 0;
    // Writes all of `count` bytes or throws EArcsalveError naming the file and the reason.
    virtual void Write(const void* data, size_t count) = 0;
    // Copies `count` bytes of `input` from `offset`, writing zeros for bytes
    // past the input's end; a read failure throws ReadInput, a write failure
    // WriteOutput. The default reads and writes through a bounded buffer.
    virtual void CopyFrom(TInputStream& input, int64_t offset, int64_t count);
    // Makes the output visible under its final name; until then nothing the
    // user named has been touched.
    virtual void Commit() = 0;
};

// Reads `count` bytes, zero-filling what lies past the stream's end; returns
// the bytes read. Throws EArcsalveError (ReadInput) when the stream fails or
// ends before its size.
size_t ReadFully(TInputStream& input, int64_t offset, unsigned char* out, size_t count);

using TOutputFactory = std::function<std::unique_ptr<TOutputStream>(const std::string& path)>;

// A millisecond tick count that wraps at 32 bits, as progress pacing expects.
using TTickSource = std::function<uint32_t()>;
uint32_t SteadyTickCount();

} // namespace tessary
