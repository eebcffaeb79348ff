// split_input.cpp -- the parts of a split archive found by their names, and
// read in order as one stream.
#include "split_input.h"

#include "engine_error.h"
#include "file_streams.h"
#include "input_parts.h"
#include "paths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <string_view>
#include <unistd.h>

namespace tessary {

namespace {

namespace fs = std::filesystem;

// Parts before the last that the last one's end record may count beyond
// those whose files are found; more is taken for a damaged record.
constexpr unsigned MaxUnseenParts = 16;
// Part numbers have at most this many digits.
constexpr size_t MaxNumberDigits = 5;

bool IsNumber(std::string_view s) {
    return !s.empty() && s.size() <= MaxNumberDigits &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsZipExtension(std::string_view s) {
    return s.size() == 3 && (s[0] | 0x20) == 'z' && (s[1] | 0x20) == 'i' && (s[2] | 0x20) == 'p';
}

unsigned NumberOf(std::string_view digits) {
    unsigned n = 0;
    for (char c : digits)
        n = n * 10 + static_cast<unsigned>(c - '0');
    return n;
}

// `n` with at least `width` digits, zeros in front.
std::string Padded(unsigned n, size_t width) {
    std::string digits = std::to_string(n);
    return std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
}

// The names of the files in `folder` ("" for the current one), folders left out.
std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code kindError;
        if (!it->is_directory(kindError))
            names.push_back(it->path().filename().string());
    }
    return names;
}

// "stem.z07" -> 7, for a name of the writer's scheme whose stem is `stem`.
std::optional<unsigned> NumberedPart(std::string_view name, std::string_view stem) {
    if (name.size() < stem.size() + 4 || name.substr(0, stem.size()) != stem ||
        name[stem.size()] != '.' || (name[stem.size() + 1] | 0x20) != 'z')
        return std::nullopt;
    std::string_view digits = name.substr(stem.size() + 2);
    if (digits.size() < 2 || !IsNumber(digits) || NumberOf(digits) == 0)
        return std::nullopt;
    return NumberOf(digits);
}

// The parts before the last that the last part's end record counts, when it
// can be read.
std::optional<uint16_t> PartsBeforeLast(const std::string& lastPath) {
    try {
        std::unique_ptr<TInputStream> last = OpenInputFile(lastPath);
        return EndRecordDisk(*last);
    } catch (const EArcsalveError&) {
        return std::nullopt; // the last part is missing or unreadable: its names decide
    }
}

// The highest number of the set: from the lowest found, the numbers rise
// with no run of more than MaxUnseenParts missing between two found, so that
// a stray file with a far higher number does not make the set (and its
// stream of zeros) huge. `numbered` is not empty.
unsigned LastOfSet(const std::map<unsigned, std::string>& numbered) {
    unsigned last = numbered.begin()->first;
    for (const auto& [n, name] : numbered) {
        if (n - last > MaxUnseenParts + 1)
            break;
        last = n;
    }
    return last;
}

// "name.z01" ... "name.zip": `stem` is "name", `leaf` the part named.
std::optional<TSplitSet> FindNumberedSet(const std::string& folder, const std::string& stem,
                                         const std::string& leaf) {
    std::map<unsigned, std::string> numbered;
    std::optional<std::string> last;
    for (const std::string& name : FilesIn(folder)) {
        if (std::optional<unsigned> n = NumberedPart(name, stem))
            numbered.emplace(*n, name);
        else if (name.size() == stem.size() + 4 && name.compare(0, stem.size(), stem) == 0 &&
                 name[stem.size()] == '.' &&
                 IsZipExtension(std::string_view(name).substr(stem.size() + 1)))
            last = name;
    }
    if (numbered.empty())
        return std::nullopt;
    unsigned count = LastOfSet(numbered); // of the parts before the last
    // The last part's end record says which disk it is: how many parts come
    // before it. That confirms the names: 0 makes "name.zip" an archive of
    // its own beside files that only look like parts, a smaller number
    // leaves out parts of an older set, a larger one counts parts lost at
    // the end.
    if (last) {
        if (std::optional<uint16_t> before = PartsBeforeLast(folder + *last)) {
            if (*before == 0)
                return std::nullopt;
            if (*before < count || *before - count <= MaxUnseenParts)
                count = *before;
        }
    }
    const bool upper = numbered.begin()->second[stem.size() + 1] == 'Z';
    TSplitSet set;
    bool named = false; // the part the user named belongs to the set
    for (unsigned n = 1; n <= count; ++n) {
        auto found = numbered.find(n);
        std::string name =
            found != numbered.end() ? found->second : stem + (upper ? ".Z" : ".z") + Padded(n, 2);
        named |= name == leaf;
        set.Parts.push_back(folder + name);
        set.Found.push_back(found != numbered.end());
    }
    std::string lastName = last ? *last : stem + (upper ? ".ZIP" : ".zip");
    named |= lastName == leaf;
    set.Parts.push_back(folder + lastName);
    set.Found.push_back(last.has_value());
    set.Name = folder + lastName;
    if (!named)
        return std::nullopt;
    return set;
}

// "name.zip.001", ".002", ...: `stem` is "name.zip", `width` the number's.
std::optional<TSplitSet> FindCutSet(const std::string& folder, const std::string& stem,
                                    size_t width, const std::string& leaf) {
    std::map<unsigned, std::string> pieces;
    for (const std::string& name : FilesIn(folder)) {
        if (name.size() == stem.size() + 1 + width && name.compare(0, stem.size(), stem) == 0 &&
            name[stem.size()] == '.' && IsNumber(std::string_view(name).substr(stem.size() + 1)))
            pieces.emplace(NumberOf(std::string_view(name).substr(stem.size() + 1)), name);
    }
    if (pieces.empty())
        return std::nullopt;
    TSplitSet set;
    set.Name = folder + stem;
    const unsigned first = pieces.begin()->first == 0 ? 0 : 1;
    bool named = false; // the piece the user named belongs to the set
    size_t found = 0;
    for (unsigned n = first, last = LastOfSet(pieces); n <= last; ++n) {
        auto piece = pieces.find(n);
        std::string name = piece != pieces.end() ? piece->second : stem + "." + Padded(n, width);
        named |= name == leaf;
        found += piece != pieces.end();
        set.Parts.push_back(folder + name);
        set.Found.push_back(piece != pieces.end());
    }
    if (found < 2 || !named)
        return std::nullopt;
    return set;
}

// The parts as one stream: each part's room in turn, the bytes its file
// holds and then zeros for what it lacks.
class TSplitInput : public TInputStream {
public:
    TSplitInput(std::string name, std::vector<TInputPart> parts,
                std::vector<std::unique_ptr<TInputStream>> files)
        : FName(std::move(name)), FParts(std::move(parts)), FFiles(std::move(files)) {
        FSize = FParts.empty() ? 0 : FParts.back().Start + FParts.back().Length;
    }
    int64_t Size() const override { return FSize; }

    // Reads across the parts' boundaries: a read stops short only at the
    // end, as the engine takes a short read for unreadable bytes.
    size_t ReadAt(int64_t offset, void* buffer, size_t count) override {
        if (offset < 0 || offset >= FSize)
            return 0;
        auto out = static_cast<unsigned char*>(buffer);
        auto after = std::upper_bound(FParts.begin(), FParts.end(), offset,
                                      [](int64_t at, const TInputPart& p) { return at < p.Start; });
        size_t i = static_cast<size_t>(after - FParts.begin()) - 1;
        size_t done = 0;
        while (done < count && i < FParts.size()) {
            const TInputPart& p = FParts[i];
            int64_t in = offset + static_cast<int64_t>(done) - p.Start;
            if (in >= p.Length) {
                ++i;
                continue;
            }
            size_t n = static_cast<size_t>(std::min<int64_t>(count - done, p.Length - in));
            if (in < p.Present) {
                n = FFiles[i]->ReadAt(in, out + done,
                                      static_cast<size_t>(std::min<int64_t>(n, p.Present - in)));
                if (n == 0)
                    throw EArcsalveError(TErrorKind::ReadInput, p.Name,
                                         "The file ended before its known size", in);
            } else {
                std::memset(out + done, 0, n);
            }
            done += n;
        }
        return done;
    }

    void CheckUnchanged() const override {
        for (const auto& file : FFiles)
            if (file)
                file->CheckUnchanged();
    }
    std::string Name() const override { return FName; }
    bool IsSameFile(const std::string& path) const override {
        return std::any_of(FFiles.begin(), FFiles.end(),
                           [&](const auto& file) { return file && file->IsSameFile(path); });
    }
    const std::vector<TInputPart>& Parts() const override { return FParts; }

    std::unique_ptr<TInputStream> Reopen() const {
        std::vector<std::unique_ptr<TInputStream>> files;
        for (size_t i = 0; i < FFiles.size(); ++i)
            files.push_back(FFiles[i] ? ReopenInput(*FFiles[i], FParts[i].Name) : nullptr);
        return std::make_unique<TSplitInput>(FName, FParts, std::move(files));
    }

private:
    std::string FName;
    std::vector<TInputPart> FParts;
    std::vector<std::unique_ptr<TInputStream>> FFiles; // null for a missing part
    int64_t FSize = 0;
};

} // namespace

std::optional<TSplitSet> FindSplitSet(const std::string& path) {
    std::string folder = ExtractFilePath(path);
    std::string leaf = ExtractFileName(path);
    size_t dot = leaf.find_last_of('.');
    if (dot == std::string::npos || dot == 0)
        return std::nullopt;
    std::string stem = leaf.substr(0, dot);
    std::string_view extension = std::string_view(leaf).substr(dot + 1);
    if (IsZipExtension(extension) || NumberedPart(leaf, stem))
        return FindNumberedSet(folder, stem, leaf);
    size_t stemDot = stem.find_last_of('.');
    if (extension.size() >= 2 && IsNumber(extension) && stemDot != std::string::npos &&
        stemDot > 0 && IsZipExtension(std::string_view(stem).substr(stemDot + 1)))
        return FindCutSet(folder, stem, extension.size(), leaf);
    return std::nullopt;
}

std::string ArchiveNameOf(const std::string& path) {
    std::optional<TSplitSet> set = FindSplitSet(path);
    return set ? set->Name : path;
}

std::unique_ptr<TInputStream> OpenArchiveInput(const std::string& path) {
    // The file named fails first, as a single archive would.
    std::unique_ptr<TInputStream> named = OpenInputFile(path);
    std::optional<TSplitSet> set = FindSplitSet(path);
    if (!set)
        return named;
    const size_t count = set->Parts.size();
    std::vector<std::unique_ptr<TInputStream>> files(count);
    for (size_t i = 0; i < count; ++i) {
        if (set->Parts[i] == path)
            files[i] = std::move(named);
        else if (set->Found[i])
            files[i] = OpenInputFile(set->Parts[i]);
    }
    // Every part but the last is as large as the largest of them.
    int64_t partSize = 0;
    for (size_t i = 0; i + 1 < count; ++i)
        if (files[i])
            partSize = std::max(partSize, files[i]->Size());
    std::vector<TInputPart> parts(count);
    int64_t at = 0;
    for (size_t i = 0; i < count; ++i) {
        TInputPart& p = parts[i];
        p.Name = set->Parts[i];
        p.Found = files[i] != nullptr;
        p.Present = files[i] ? files[i]->Size() : 0;
        p.Start = at;
        p.Length = i + 1 < count ? std::max(partSize, p.Present) : p.Present;
        at += p.Length;
    }
    return std::make_unique<TSplitInput>(path, std::move(parts), std::move(files));
}

std::unique_ptr<TInputStream> ReopenInput(const TInputStream& input, const std::string& name) {
    if (auto split = dynamic_cast<const TSplitInput*>(&input))
        return split->Reopen();
    int fd = ::dup(input.NativeHandle());
    if (fd < 0)
        throw EArcsalveError(TErrorKind::OpenInput, name, std::strerror(errno));
    return OpenInputDescriptor(fd, name);
}

} // namespace tessary
