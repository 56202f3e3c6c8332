#include "core/snapshot_file.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <new>
#include <stdexcept>
#include <type_traits>

#include "core/registry_types.h"
#include "core/whole_file.h"

namespace qv {
namespace {

// "QVSNAP", then bytes that a text transfer or a truncated copy would change.
constexpr char kMagic[8] = {'Q', 'V', 'S', 'N', 'A', 'P', '\r', '\n'};
// Format 2 adds each value's raw bytes and each file's size and attributes;
// format 3 folders among the files, several places, what could not be read,
// and when and where the collection was taken. Older files still load,
// without them.
constexpr uint32_t kVersion = 3;
constexpr uint32_t kOldestVersion = 1;

// The sections, in the order the file holds them.
enum Section : uint32_t { kPlaces = 1, kRegistry = 2, kFiles = 3 };
const char* sectionName(uint32_t tag) {
    switch (tag) {
        case kPlaces: return "places";
        case kRegistry: return "registry";
        default: return "files";
    }
}

// A section's header: its tag, its length and the checksum of its bytes.
constexpr size_t kSectionHeader = 4 + 8 + 8;

// A 64-bit checksum over eight bytes at a time, so that checking a file of a
// few hundred megabytes costs a fraction of reading it. It finds accidental
// damage (a flipped bit, a lost block); it is no defence against forgery.
class Checksum {
public:
    explicit Checksum(uint64_t size) : h_(0x6A09E667F3BCC908ull ^ size) {}
    // Every piece but the last must be a multiple of eight bytes long.
    void add(std::string_view bytes) {
        size_t i = 0;
        for (; i + 8 <= bytes.size(); i += 8) {
            uint64_t word;
            std::memcpy(&word, bytes.data() + i, 8);
            mix(word);
        }
        tail_ = 0;
        if (i < bytes.size()) std::memcpy(&tail_, bytes.data() + i, bytes.size() - i);
    }
    uint64_t value() const {
        uint64_t h = h_;
        mixInto(h, tail_);
        h ^= h >> 32;
        h *= kMul;
        return h ^ (h >> 29);
    }

private:
    static constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
    static void mixInto(uint64_t& h, uint64_t word) { h = std::rotl((h ^ word) * kMul, 29); }
    void mix(uint64_t word) { mixInto(h_, word); }
    uint64_t h_;
    uint64_t tail_ = 0;
};

uint64_t checksumOf(std::string_view bytes) {
    Checksum sum(bytes.size());
    sum.add(bytes);
    return sum.value();
}

// ---- Writing: little-endian fixed widths ----

// Where a section's bytes go, a piece at a time.
using Pieces = std::function<void(std::string_view)>;

class Writer {
public:
    explicit Writer(std::string& out, const Pieces* pieces = nullptr) : out_(out), pieces_(pieces) {}
    // A writer that only counts the bytes it would write, into `counted`.
    explicit Writer(uint64_t& counted) : out_(unused_), counted_(&counted) {}
    template <class T>
    void number(T value) {
        static_assert(std::is_integral_v<T>);
        if (counted_) {
            *counted_ += sizeof(T);
            return;
        }
        if constexpr (std::endian::native == std::endian::little) {
            char bytes[sizeof(T)];
            std::memcpy(bytes, &value, sizeof(T));
            out_.append(bytes, sizeof(T));
        } else {
            for (size_t b = 0; b < sizeof(T); ++b)
                out_ += static_cast<char>((static_cast<uint64_t>(value) >> (8 * b)) & 0xFF);
        }
    }
    void text(std::string_view s) {
        number(static_cast<uint32_t>(s.size()));
        if (counted_) {
            *counted_ += s.size();
            return;
        }
        if (!pieces_ || s.size() < kPieceBytes) {
            out_ += s;
            return;
        }
        // A long text (a value of a hundred megabytes) is handed on where it
        // stands rather than copied into the buffer: the buffer is filled to
        // a whole number of checksum words and handed on, then the text's
        // whole words, and its last few bytes start the buffer again.
        const size_t head = (8 - out_.size() % 8) % 8;
        out_ += s.substr(0, head);
        s.remove_prefix(head);
        (*pieces_)(out_);
        out_.clear();
        const size_t whole = s.size() & ~size_t{7};
        (*pieces_)(s.substr(0, whole));
        out_ += s.substr(whole);
    }
    // A path shares its start with the one before it more often than not: only
    // the length of the shared part and the rest are written.
    void path(std::string_view s, std::string_view previous) {
        size_t shared = 0;
        const size_t most = std::min(s.size(), previous.size());
        while (shared < most && s[shared] == previous[shared]) ++shared;
        number(static_cast<uint32_t>(shared));
        text(s.substr(shared));
    }

    // Called after each entry: a megabyte or more is handed on, in a whole
    // number of checksum words, and the buffer starts again.
    void entryDone() {
        if (counted_ || !pieces_ || out_.size() < kPieceBytes) return;
        const size_t whole = out_.size() & ~size_t{7};
        (*pieces_)(std::string_view(out_).substr(0, whole));
        out_.erase(0, whole);
    }

private:
    static constexpr size_t kPieceBytes = size_t{1} << 20;
    std::string& out_;
    const Pieces* pieces_ = nullptr;
    uint64_t* counted_ = nullptr;
    std::string unused_;
};

// A section's body, made by `body`, to `out` a piece at a time.
template <class Body>
void produce(const Body& body, const Pieces& out) {
    std::string buffer;
    body(Writer(buffer, &out));
    out(buffer);
}

// A section: its tag, length and checksum, then its bytes. Its length is
// counted first, without making the bytes. A section of up to kHeldSection
// bytes is then made once and held; a larger one, which may be most of a
// snapshot of a million entries, is never held whole: its bytes are made
// once to sum them, and again to pass them on.
constexpr uint64_t kHeldSection = uint64_t{4} << 20;

template <class Body>
void section(uint32_t tag, const Body& body, const Pieces& out) {
    uint64_t length = 0;
    body(Writer(length));
    const bool held = length <= kHeldSection;
    std::string bytes;
    Checksum sum(length);
    uint64_t made = 0;
    if (held) {
        produce(body, [&](std::string_view piece) { bytes += piece; });
        made = bytes.size();
        sum.add(bytes);
    } else {
        produce(body, [&](std::string_view piece) {
            made += piece.size();
            sum.add(piece);
        });
    }
    // The count and the bytes come from one body: a difference would write a
    // file that no reader takes, so none is written.
    if (made != length) throw std::logic_error("a snapshot section's bytes differ from their count");
    std::string header;
    Writer w(header);
    w.number(tag);
    w.number(length);
    w.number(sum.value());
    out(header);
    if (held) {
        out(bytes);
    } else {
        produce(body, out);
    }
}

// ---- Reading: every length is checked against what is left ----

struct Damaged {
    std::string what;
};

// A path is written as the part it shares with the one before and the rest,
// so a few bytes can stand for a long path; without a bound, a small crafted
// file would unfold into gigabytes. Real snapshots unfold to a few times their
// size (a registry key's path repeats for each of its values); 64 times leaves
// room for long paths over short entries.
constexpr size_t kPathExpansion = 64;
constexpr size_t kPathSlack = size_t{1} << 20;

class Reader {
public:
    explicit Reader(std::string_view in) : in_(in), pathBudget_(kPathExpansion * in.size() + kPathSlack) {}
    size_t left() const { return in_.size(); }
    template <class T>
    T number() {
        need(sizeof(T));
        T v;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(&v, in_.data(), sizeof(T));
        } else {
            uint64_t u = 0;
            for (size_t b = 0; b < sizeof(T); ++b)
                u |= static_cast<uint64_t>(static_cast<unsigned char>(in_[b])) << (8 * b);
            v = static_cast<T>(u);
        }
        in_.remove_prefix(sizeof(T));
        return v;
    }
    std::string_view bytes(size_t n) {
        need(n);
        std::string_view s = in_.substr(0, n);
        in_.remove_prefix(n);
        return s;
    }
    void text(std::string& s) { s.assign(bytes(number<uint32_t>())); }
    // A text that entries repeat: the same block as the one before when equal.
    void text(SharedText& s, const SharedText& previous) { share(s, bytes(number<uint32_t>()), previous); }
    void path(std::string& s, std::string_view previous) {
        const uint32_t shared = number<uint32_t>();
        if (shared > previous.size()) throw Damaged{"a path refers to more of the path before it than there is"};
        const std::string_view rest = bytes(number<uint32_t>());
        if (shared + rest.size() > pathBudget_)
            throw Damaged{"its paths add up to more than a section of its size can hold"};
        pathBudget_ -= shared + rest.size();
        s.reserve(shared + rest.size());
        s.assign(previous.substr(0, shared));
        s += rest;
    }
    // A key name: the entries of one key share the text of the first of them.
    void path(SharedText& s, const SharedText& previous) {
        path(scratch_, previous.view());
        share(s, scratch_, previous);
    }
    // A count of entries of at least `minimum` bytes each must fit in what is
    // left, so that a damaged count cannot make the reader allocate gigabytes.
    uint64_t count(size_t minimum) {
        const uint64_t n = number<uint64_t>();
        if (n > left() / minimum) throw Damaged{"an entry count is larger than the section"};
        return n;
    }

private:
    static void share(SharedText& s, std::string_view text, const SharedText& previous) {
        s = text == previous.view() ? previous : SharedText(text);
    }
    void need(size_t n) const {
        if (n > in_.size()) throw Damaged{"an entry runs past the end of its section"};
    }
    std::string_view in_;
    size_t pathBudget_;
    std::string scratch_;
};

void writePlaces(Writer w, const Collection& c) {
    w.number(static_cast<uint8_t>(c.registryWalked));
    w.number(c.hive);
    w.text(c.startKey);
    w.number(static_cast<uint8_t>(c.filesScanned));
    w.text(c.startFolder);
    w.number(std::bit_cast<uint64_t>(c.seconds));
    w.number(static_cast<uint8_t>(c.foldersRecorded));
    for (const std::vector<std::string>* texts : {&c.registryPlaces, &c.folderPlaces, &c.unread}) {
        w.number(static_cast<uint64_t>(texts->size()));
        for (const std::string& t : *texts) w.text(t);
    }
    w.number(c.takenAt);
    w.text(c.machine);
    w.text(c.user);
}

// The hive goes back into the window's root drop-down and to the walk, so
// only the five predefined keys are taken.
bool knownHive(int32_t hive) {
    for (int32_t h : {kHiveClassesRoot, kHiveCurrentUser, kHiveLocalMachine, kHiveUsers, kHiveCurrentConfig})
        if (h == hive) return true;
    return false;
}

void readTexts(Reader& r, std::vector<std::string>& texts) {
    const uint64_t n = r.count(4);
    texts.resize(n);
    for (std::string& t : texts) r.text(t);
}

void readPlaces(Reader& r, Collection& c, uint32_t version) {
    c.registryWalked = r.number<uint8_t>() != 0;
    c.hive = r.number<int32_t>();
    if (c.registryWalked && !knownHive(c.hive)) throw Damaged{"the registry root is none of the five"};
    r.text(c.startKey);
    c.filesScanned = r.number<uint8_t>() != 0;
    r.text(c.startFolder);
    c.seconds = std::bit_cast<double>(r.number<uint64_t>());
    if (!std::isfinite(c.seconds) || c.seconds < 0) throw Damaged{"the time taken is not a time"};
    c.foldersRecorded = false;
    if (version < 3) return;
    c.foldersRecorded = r.number<uint8_t>() != 0;
    readTexts(r, c.registryPlaces);
    readTexts(r, c.folderPlaces);
    readTexts(r, c.unread);
    c.takenAt = r.number<int64_t>();
    r.text(c.machine);
    r.text(c.user);
    if (c.registryPlaces.size() == 1 || c.folderPlaces.size() == 1)
        throw Damaged{"it lists a single place where it should list several or none"};
}

void writeRegistry(Writer w, const RegSnapshot& registry) {
    w.number(static_cast<uint64_t>(registry.size()));
    std::string_view previous;
    for (const RegEntry& e : registry) {
        w.path(e.KeyName, previous);
        w.text(e.ValueName);
        w.text(e.ValueData);
        w.number(e.ValueType);
        w.number(static_cast<uint8_t>(e.Raw));
        if (e.Raw == RawForm::Stored) w.text(e.RawData.str());
        previous = e.KeyName;
        w.entryDone();
    }
}

void readRegistry(Reader& r, RegSnapshot& registry, uint32_t version) {
    const size_t smallestEntry = 4 + 4 + 4 + 4 + 4 + (version >= 2 ? 1 : 0);
    const uint64_t n = r.count(smallestEntry);
    registry.clear();
    registry.reserve(n);
    const SharedText none;
    for (uint64_t i = 0; i < n; ++i) {
        RegEntry& e = registry.emplace_back();
        r.path(e.KeyName, i ? registry[i - 1].KeyName : none);
        r.text(e.ValueName);
        r.text(e.ValueData);
        e.ValueType = r.number<uint32_t>();
        if (version < 2) continue;
        const uint8_t form = r.number<uint8_t>();
        if (form > static_cast<uint8_t>(RawForm::Stored)) throw Damaged{"a value's raw data has an unknown form"};
        e.Raw = static_cast<RawForm>(form);
        if (e.Raw == RawForm::Stored) r.text(e.RawData.text());
    }
}

// Element 0 of a file snapshot is the unused one and is not kept.
void writeFiles(Writer w, const FileSnapshot& files) {
    w.number(static_cast<uint64_t>(files.empty() ? 0 : files.size() - 1));
    std::string_view previous;
    for (size_t i = 1; i < files.size(); ++i) {
        w.path(files[i].Filepath, previous);
        w.text(files[i].ModifiedDate);
        w.number(files[i].Size);
        w.number(files[i].Attributes);
        w.number(files[i].ModifiedLocal);
        w.number(files[i].UtcOffset);
        previous = files[i].Filepath;
        w.entryDone();
    }
}

void readFiles(Reader& r, FileSnapshot& files, uint32_t version) {
    const size_t smallestEntry = 4 + 4 + 4 + (version >= 2 ? 8 + 4 + 8 : 0) + (version >= 3 ? 4 : 0);
    const uint64_t n = r.count(smallestEntry);
    files.assign(1, FileSnapshotEntry{});
    files.reserve(1 + n);
    for (uint64_t i = 1; i <= n; ++i) {
        FileSnapshotEntry& f = files.emplace_back();
        r.path(f.Filepath, files[i - 1].Filepath);
        r.text(f.ModifiedDate, files[i - 1].ModifiedDate);
        if (version < 2) continue;
        f.Size = r.number<uint64_t>();
        f.Attributes = r.number<uint32_t>();
        f.ModifiedLocal = r.number<int64_t>();
        if (version >= 3) f.UtcOffset = r.number<int32_t>();
    }
}


// Where the reader takes a file's bytes from: memory, or an open file that is
// read a section at a time, so that a file is checked piece by piece before
// anything large is allocated for it.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t left() const = 0;
    // The next `n` bytes (n <= left()); the view lives until the next call.
    virtual std::string_view take(size_t n) = 0;
    // The same for a section's body, which is only handed out when its bytes
    // match `sum`; false otherwise.
    virtual bool takeChecked(size_t n, uint64_t sum, std::string_view& body) {
        body = take(n);
        return checksumOf(body) == sum;
    }
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    uint64_t left() const override { return bytes_.size(); }
    std::string_view take(size_t n) override {
        const std::string_view s = bytes_.substr(0, n);
        bytes_.remove_prefix(n);
        return s;
    }

private:
    std::string_view bytes_;
};

struct Unreadable {};

class FileSource final : public ByteSource {
public:
    FileSource(std::ifstream& in, uint64_t size) : in_(in), left_(size) {}
    uint64_t left() const override { return left_; }
    std::string_view take(size_t n) override {
        buffer_.resize(n);
        if (n && !in_.read(buffer_.data(), static_cast<std::streamsize>(n))) throw Unreadable{};
        left_ -= n;
        return buffer_;
    }
    // A damaged or crafted section is found out by reading it through a small
    // window; only a section whose checksum holds is given memory of its size.
    bool takeChecked(size_t n, uint64_t sum, std::string_view& body) override {
        const std::streampos start = in_.tellg();
        Checksum checksum(n);
        std::string window(std::min<size_t>(n, kWindow), '\0');
        for (size_t done = 0; done < n;) {
            const size_t piece = std::min(window.size(), n - done);
            if (!in_.read(window.data(), static_cast<std::streamsize>(piece))) throw Unreadable{};
            checksum.add(std::string_view(window).substr(0, piece));
            done += piece;
        }
        if (checksum.value() != sum) {
            left_ -= n;
            return false;
        }
        if (n <= window.size()) {
            buffer_ = std::move(window);
            left_ -= n;
            body = buffer_;
            return true;
        }
        in_.seekg(start);
        body = take(n);
        return true;
    }

private:
    static constexpr size_t kWindow = size_t{1} << 20;  // a multiple of eight
    std::ifstream& in_;
    uint64_t left_;
    std::string buffer_;
};

template <class T>
T numberFrom(ByteSource& source) {
    return Reader(source.take(sizeof(T))).number<T>();
}

// The header first, then each section checked against what the file has left
// before its bytes are read, so that neither a foreign file nor a lying length
// costs more than a few bytes.
std::optional<Collection> collectionFrom(ByteSource& source, std::string& fault) {
    if (source.left() < sizeof kMagic + 4 || source.take(sizeof kMagic) != std::string_view(kMagic, sizeof kMagic)) {
        fault = "is not a Quorvel snapshot file";
        return std::nullopt;
    }
    const uint32_t version = numberFrom<uint32_t>(source);
    if (version < kOldestVersion || version > kVersion) {
        fault = version > kVersion ? "was written by a newer version of Quorvel (format " + std::to_string(version) +
                                         "; this version reads format " + std::to_string(kVersion) + ")"
                                   : "has an unknown format number (" + std::to_string(version) + ")";
        return std::nullopt;
    }
    Collection c;
    for (uint32_t tag : {kPlaces, kRegistry, kFiles}) {
        const std::string name = sectionName(tag);
        if (source.left() < kSectionHeader) {
            fault = "is truncated: the " + name + " section is missing";
            return std::nullopt;
        }
        Reader header(source.take(kSectionHeader));
        const uint32_t found = header.number<uint32_t>();
        const uint64_t length = header.number<uint64_t>();
        const uint64_t sum = header.number<uint64_t>();
        if (found != tag) {
            fault = "is damaged: the " + name + " section is not where it belongs";
            return std::nullopt;
        }
        if (length > source.left()) {
            fault = "is truncated: the " + name + " section is cut short";
            return std::nullopt;
        }
        std::string_view body;
        if (!source.takeChecked(static_cast<size_t>(length), sum, body)) {
            fault = "is damaged: the " + name + " section's checksum does not match";
            return std::nullopt;
        }
        try {
            Reader r(body);
            if (tag == kPlaces) readPlaces(r, c, version);
            if (tag == kRegistry) readRegistry(r, c.registry, version);
            if (tag == kFiles) readFiles(r, c.files, version);
            if (r.left() != 0) throw Damaged{"it has bytes after its last entry"};
        } catch (const Damaged& d) {
            fault = "is damaged: in the " + name + " section, " + d.what;
            return std::nullopt;
        }
    }
    if (source.left() != 0) {
        fault = "is damaged: it goes on after its last section";
        return std::nullopt;
    }
    return c;
}

// The whole file, to `out` a piece at a time.
void writeCollection(const Collection& collection, const Pieces& out) {
    std::string head(kMagic, sizeof kMagic);
    Writer(head).number(kVersion);
    out(head);
    section(kPlaces, [&](Writer w) { writePlaces(w, collection); }, out);
    section(kRegistry, [&](Writer w) { writeRegistry(w, collection.registry); }, out);
    section(kFiles, [&](Writer w) { writeFiles(w, collection.files); }, out);
}

constexpr char kNoMemory[] = "is too large to load: there is not enough memory for its entries";

}  // namespace

uint64_t sectionChecksum(std::string_view bytes) { return checksumOf(bytes); }

std::string collectionBytes(const Collection& collection) {
    std::string out;
    writeCollection(collection, [&](std::string_view piece) { out += piece; });
    return out;
}

std::optional<Collection> collectionFromBytes(std::string_view bytes, std::string& fault) {
    try {
        MemorySource source(bytes);
        return collectionFrom(source, fault);
    } catch (const std::bad_alloc&) {
        fault = kNoMemory;
        return std::nullopt;
    }
}

bool saveCollection(const std::string& path, const Collection& collection, std::string& error) {
    std::string why;
    const auto write = [&](std::ostream& file) {
        writeCollection(collection, [&](std::string_view piece) {
            if (file) file.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        });
        return static_cast<bool>(file);
    };
    if (replaceWholeFileWith(path, write, &why)) return true;
    error = "The snapshot file " + path + " could not be written: " + why;
    return false;
}

std::optional<Collection> loadCollection(const std::string& path, std::string& error) {
    std::string why;
    std::ifstream in;
    uint64_t size = 0;
    if (!openForReading(path, in, size, &why)) {
        error = "The snapshot file " + path + " could not be read: " + why;
        return std::nullopt;
    }
    std::optional<Collection> c;
    try {
        FileSource source(in, size);
        c = collectionFrom(source, why);
    } catch (const Unreadable&) {
        error = "The snapshot file " + path + " could not be read: cannot read the file";
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        why = kNoMemory;
    }
    if (!c) error = "The snapshot file " + path + " " + why + ".";
    return c;
}

}  // namespace qv
