#include "store/IniStore.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QtDebug>

#include "platform/Log.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

// File layout as this store reads it:
// - the file is split at LF; one CR before the LF is part of the line end;
// - a line whose text (blanks trimmed) starts with "[" and holds a "]" is a section
//   header; the name is the text between "[" and the first "]", trimmed;
// - inside a section, a line holding "=" with a non-empty name before it is a key line:
//   name and value are the trimmed texts before and after the first "=";
// - every other line (text before the first section, lines without "=", "[" lines
//   without "]", binary junk) is ignored by reads and kept unchanged by writes.
//
// Duplicates in a hand-edited file: reads, writes, key listings and counts use the first
// section of a name (and the first key of a name inside it); the section listing names
// each section once, at the place of its first copy, so the tree never shows a second
// node whose record could not be read. DeleteIniSection removes every copy, so a
// deleted section does not come back from behind.
//
// Names that would corrupt the file are refused, not rewritten: a section name with "]",
// a key name with "=" or starting with "[", any name with CR, LF or NUL, or an empty or
// non-Latin-1 name. Rewriting them would let two different names meet in one record;
// a refused write is reported like any failed write. Values, which come from the
// network, are cut at their first NUL and carry CR and LF as blanks instead.

namespace {

constexpr qsizetype kValueLimit = 749;
// A file modified this recently may still change without its time stamp moving
// (file times tick in steps of up to a second, or two on some file systems).
constexpr qint64 kRacyWindowNs = 2'000'000'000;

// ---- Latin-1 text ----------------------------------------------------------------

// Case folding that stays inside the 8-bit range (ß and ÿ have no upper case there).
char foldChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))
        return char(u + 0x20);
    return c;
}

char upperChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7))
        return char(u - 0x20);
    return c;
}

QByteArray folded(QByteArray text)
{
    for (char &c : text)
        c = foldChar(c);
    return text;
}

QByteArray upperCased(QByteArray text)
{
    for (char &c : text)
        c = upperChar(c);
    return text;
}

bool isLatin1(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

bool hasLineBreakOrNul(const QByteArray &text)
{
    return text.contains('\r') || text.contains('\n') || text.contains('\0');
}

std::optional<QByteArray> sectionName(const QString &name)
{
    if (!isLatin1(name))
        return std::nullopt;
    const QByteArray bytes = name.toLatin1().trimmed();
    if (bytes.isEmpty() || bytes.contains(']') || hasLineBreakOrNul(bytes))
        return std::nullopt;
    return bytes;
}

std::optional<QByteArray> keyName(const QString &name)
{
    if (!isLatin1(name))
        return std::nullopt;
    const QByteArray bytes = name.toLatin1().trimmed();
    if (bytes.isEmpty() || bytes.contains('=') || bytes.startsWith('[') || hasLineBreakOrNul(bytes))
        return std::nullopt;
    return bytes;
}

QByteArray storedValue(const QString &value)
{
    QString text = value;
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    QByteArray bytes = text.toLatin1();   // characters beyond Latin-1 become "?"
    bytes.replace('\r', ' ');
    bytes.replace('\n', ' ');
    return bytes.trimmed();
}

QString cutValue(const QString &text)
{
    return text.size() > kValueLimit ? text.left(kValueLimit) : text;
}

// ---- Parsed file ---------------------------------------------------------------------

// The blanks that surround names and values (those QByteArray::trimmed() removes).
bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

QByteArrayView trimmedView(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isSpace(text[begin]))
        ++begin;
    while (end > begin && isSpace(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

// `text` equals `foldedName` when case is ignored (`foldedName` is already folded).
bool sameName(QByteArrayView text, const QByteArray &foldedName)
{
    if (text.size() != foldedName.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (foldChar(text[i]) != foldedName.at(i))
            return false;
    }
    return true;
}

// One line of a section's body. Key and value are kept as places in `raw`, so parsing
// a large file allocates one buffer per line and no more.
struct IniLine {
    QByteArray raw;        // as on disk, without its line end
    qsizetype keyBegin = 0;
    qsizetype keyLength = 0;    // 0: not a key line
    qsizetype valueBegin = 0;
    qsizetype valueLength = 0;  // trimmed, cut at a NUL

    bool isKey() const { return keyLength > 0; }
    QByteArrayView key() const { return QByteArrayView(raw).sliced(keyBegin, keyLength); }
    QByteArrayView value() const { return QByteArrayView(raw).sliced(valueBegin, valueLength); }
};

struct IniSection {
    QByteArray name;
    QByteArray foldedName;
    QByteArray header;     // the header line as on disk
    QList<IniLine> body;
};

struct IniDocument {
    // The bytes parsed. Lines read from the file are views into them rather than copies
    // (a copy per line was most of the cost of loading thousands of elements); every
    // copy of the document holds them too, so a view never outlives its bytes.
    QByteArray source;
    QList<QByteArray> preamble;              // lines before the first section
    QList<IniSection> sections;              // file order, duplicates included
    QHash<QByteArray, qsizetype> firstByName;

    void reindex()
    {
        firstByName.clear();
        for (qsizetype i = sections.size() - 1; i >= 0; --i)
            firstByName.insert(sections.at(i).foldedName, i);   // the first copy wins
    }

    const IniSection *find(const QByteArray &name) const
    {
        const auto it = firstByName.constFind(folded(name));
        return it == firstByName.constEnd() ? nullptr : &sections.at(*it);
    }

    IniSection *findForEdit(const QByteArray &name)
    {
        const auto it = firstByName.constFind(folded(name));
        return it == firstByName.constEnd() ? nullptr : &sections[*it];
    }
};

const IniLine *findKey(const IniSection &section, const QByteArray &key)
{
    const QByteArray wanted = folded(key);
    for (const IniLine &line : section.body) {
        if (line.isKey() && sameName(line.key(), wanted))
            return &line;
    }
    return nullptr;
}

IniLine classifyBodyLine(QByteArray raw)
{
    IniLine line;
    line.raw = std::move(raw);
    const QByteArrayView text(line.raw);
    const qsizetype eq = text.indexOf('=');
    if (eq <= 0)
        return line;
    const QByteArrayView key = trimmedView(text.first(eq));
    if (key.isEmpty())
        return line;
    line.keyBegin = key.data() - text.data();
    line.keyLength = key.size();
    QByteArrayView value = text.sliced(eq + 1);
    const qsizetype nul = value.indexOf('\0');
    if (nul >= 0)
        value = value.first(nul);
    value = trimmedView(value);
    line.valueBegin = value.data() - text.data();
    line.valueLength = value.size();
    return line;
}

// Header name when the line is a section header.
std::optional<QByteArrayView> headerName(QByteArrayView raw)
{
    const QByteArrayView text = trimmedView(raw);
    if (!text.startsWith('['))
        return std::nullopt;
    const qsizetype close = text.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return trimmedView(text.sliced(1, close - 1));
}

IniDocument parseIni(const QByteArray &bytes)
{
    IniDocument doc;
    // A buffer of its own: the caller's may be shared with something that changes it.
    doc.source = QByteArray(bytes.constData(), bytes.size());
    const QByteArray &data = doc.source;
    const auto view = [&data](QByteArrayView text) {
        return QByteArray::fromRawData(text.data(), text.size());
    };
    qsizetype pos = 0;
    const qsizetype size = data.size();
    while (pos < size) {
        const qsizetype lf = data.indexOf('\n', pos);
        const qsizetype end = lf < 0 ? size : lf;
        qsizetype lineEnd = end;
        if (lineEnd > pos && data.at(lineEnd - 1) == '\r')
            --lineEnd;
        const QByteArrayView text = QByteArrayView(data).sliced(pos, lineEnd - pos);
        pos = end + 1;

        if (const auto name = headerName(text)) {
            IniSection section;
            section.name = name->toByteArray();
            section.foldedName = folded(section.name);
            section.header = view(text);
            doc.sections.append(std::move(section));
        } else if (doc.sections.isEmpty()) {
            doc.preamble.append(view(text));
        } else {
            doc.sections.last().body.append(classifyBodyLine(view(text)));
        }
    }
    doc.reindex();
    return doc;
}

QByteArray serializeIni(const IniDocument &doc)
{
    QByteArray out;
    qsizetype total = 0;
    for (const QByteArray &line : doc.preamble)
        total += line.size() + 2;
    for (const IniSection &section : doc.sections) {
        total += section.header.size() + 2;
        for (const IniLine &line : section.body)
            total += line.raw.size() + 2;
    }
    out.reserve(total);
    for (const QByteArray &line : doc.preamble)
        out.append(line).append("\r\n");
    for (const IniSection &section : doc.sections) {
        out.append(section.header).append("\r\n");
        for (const IniLine &line : section.body)
            out.append(line.raw).append("\r\n");
    }
    return out;
}

// ---- Edits (each returns whether the document changed) -------------------------------

IniSection &ensureSection(IniDocument &doc, const QByteArray &name)
{
    if (IniSection *existing = doc.findForEdit(name))
        return *existing;
    IniSection section;
    section.name = name;
    section.foldedName = folded(name);
    section.header = '[' + name + ']';
    doc.sections.append(std::move(section));
    doc.firstByName.insert(doc.sections.last().foldedName, doc.sections.size() - 1);
    return doc.sections.last();
}

bool setValue(IniDocument &doc, const QByteArray &section, const QByteArray &key,
              const QByteArray &value)
{
    const qsizetype before = doc.sections.size();
    IniSection &target = ensureSection(doc, section);
    const QByteArray upperKey = upperCased(key);
    const QByteArray raw = upperKey + '=' + value;
    const QByteArray wanted = folded(key);
    for (IniLine &line : target.body) {
        if (line.isKey() && sameName(line.key(), wanted)) {
            if (line.raw == raw)
                return doc.sections.size() != before;
            line = classifyBodyLine(raw);
            return true;
        }
    }
    // After the last non-blank line of the section, so blank lines that separate it from
    // the next section stay where they are.
    qsizetype at = target.body.size();
    while (at > 0 && trimmedView(target.body.at(at - 1).raw).isEmpty())
        --at;
    target.body.insert(at, classifyBodyLine(raw));
    return true;
}

bool removeKey(IniDocument &doc, const QByteArray &section, const QByteArray &key)
{
    IniSection *target = doc.findForEdit(section);
    if (!target)
        return false;
    const QByteArray wanted = folded(key);
    const qsizetype removed = target->body.removeIf(
        [&](const IniLine &line) { return line.isKey() && sameName(line.key(), wanted); });
    return removed > 0;
}

bool removeSection(IniDocument &doc, const QByteArray &section)
{
    const QByteArray wanted = folded(section);
    const qsizetype removed = doc.sections.removeIf(
        [&](const IniSection &s) { return s.foldedName == wanted; });
    if (removed > 0)
        doc.reindex();
    return removed > 0;
}

// ---- The file on disk ------------------------------------------------------------

struct FileStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;

    static FileStamp of(const struct stat &st)
    {
        FileStamp s;
        s.dev = st.st_dev;
        s.ino = st.st_ino;
        s.size = st.st_size;
        s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
        s.ctimeNs = qint64(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
        return s;
    }
    bool operator==(const FileStamp &o) const
    {
        return dev == o.dev && ino == o.ino && size == o.size && mtimeNs == o.mtimeNs
            && ctimeNs == o.ctimeNs;
    }
};

qint64 nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// The last file parsed, so that the ~2000 reads of a tree build over a large database
// do not parse the same file 2000 times. Every call still looks at the file (stat) and
// the parse is used only while the file is provably the one parsed:
// - every write through this store replaces the file by a new inode and makes the
//   document it wrote the entry, so the store's own writes are always seen;
// - any other change to the file moves its inode, size, modification or change time;
// - the one change those can miss is a same-size rewrite in place within one tick of
//   the file-system clock. An entry parsed while the file was younger than that window
//   is therefore "racy": its bytes are kept and compared with the file (at most every
//   kRacyRecheckNs) until the file has aged, the rule git uses for its index. Only a same-size in-place
//   rewrite by another program within a clock tick of one of our own writes goes
//   unnoticed, and nothing else writes the database while the station runs.
using DocumentPtr = std::shared_ptr<const IniDocument>;

DocumentPtr emptyDocument()
{
    static const DocumentPtr empty = std::make_shared<const IniDocument>();
    return empty;
}

struct CacheEntry {
    QString path;
    FileStamp stamp;
    DocumentPtr doc;
    QByteArray racyBytes;   // set while the entry must be confirmed against the file
    bool racy = false;
    qint64 checkedNs = 0;   // when the racy bytes were last compared with the file
};

// A young file is compared with its bytes at most this often. Comparing on every call
// made a tree build over a file written a moment ago read the whole file once per key;
// a same-size rewrite within one clock tick is still seen, only up to this much later.
constexpr qint64 kRacyRecheckNs = 100'000'000;

std::optional<CacheEntry> g_cache;

struct Loaded {
    bool ok = true;          // false: the file exists but could not be read
    bool exists = false;
    DocumentPtr doc = emptyDocument();
    QString error;
};

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

// Reads failures are reported once per path and cause, not once per read.
void warnReadFailure(const QString &path, const QString &error)
{
    static QString lastWarning;
    const QString warning = path + QLatin1String(": ") + error;
    if (warning == lastWarning)
        return;
    lastWarning = warning;
    qCWarning(lcStore).noquote() << "Cannot read the element database" << warning;
}

bool readAll(int fd, QByteArray *data, int *err, qsizetype expected)
{
    data->clear();
    data->reserve(expected + 1);
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *err = errno;
            return false;
        }
        data->append(buffer, n);
    }
}

Loaded loadIni(const QString &path)
{
    Loaded result;
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        const int err = errno;
        if (g_cache && g_cache->path == path)
            g_cache.reset();
        if (err == ENOENT || err == ENOTDIR)
            return result;                              // missing: reads as empty
        result.ok = false;
        result.error = errnoText(err);
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        result.ok = false;
        result.error = QStringLiteral("not a regular file");
        return result;
    }
    result.exists = true;

    if (g_cache && g_cache->path == path && g_cache->stamp == FileStamp::of(st)
        && (!g_cache->racy || nowNs() - g_cache->checkedNs < kRacyRecheckNs)) {
        result.doc = g_cache->doc;
        return result;
    }

    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.ok = false;
        result.error = errnoText(errno);
        return result;
    }
    struct stat openedSt {};
    QByteArray data;
    int err = 0;
    const bool read = ::fstat(fd, &openedSt) == 0 && readAll(fd, &data, &err, qsizetype(openedSt.st_size));
    if (!read && err == 0)
        err = errno;
    ::close(fd);
    if (!read) {
        result.ok = false;
        result.error = errnoText(err);
        return result;
    }

    const FileStamp stamp = FileStamp::of(openedSt);
    const bool racy = nowNs() - stamp.mtimeNs < kRacyWindowNs;
    if (g_cache && g_cache->path == path && g_cache->stamp == stamp && g_cache->racy
        && g_cache->racyBytes == data) {
        g_cache->racy = racy;
        g_cache->checkedNs = nowNs();
        if (!racy)
            g_cache->racyBytes.clear();
        result.doc = g_cache->doc;
        return result;
    }
    result.doc = std::make_shared<const IniDocument>(parseIni(data));
    g_cache = CacheEntry{path, stamp, result.doc, racy ? data : QByteArray(), racy, nowNs()};
    return result;
}

// Loads for reading; a file that cannot be read reads as empty (and is reported).
DocumentPtr documentForReading(const QString &path)
{
    Loaded loaded = loadIni(path);
    if (!loaded.ok)
        warnReadFailure(path, loaded.error);
    return loaded.doc;
}

mode_t creationMode()
{
    const mode_t mask = ::umask(0);   // the only way to read the mask; single-threaded use
    ::umask(mask);
    return 0666 & ~mask;
}

bool writeFully(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// Replaces `target` by a file holding `bytes`: written to a temporary file in the same
// folder, flushed to the disk, then renamed over the old one. rename() is atomic, so a
// reader or a crash sees the old file or the new one, never a mixture; a failure at any
// step removes the temporary file and leaves the old one as it was.
bool replaceFile(const QByteArray &target, const QByteArray &bytes, QString *error)
{
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray dir = slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : target.left(slash));
    const QByteArray base = slash < 0 ? target : target.mid(slash + 1);
    QByteArray temp = (slash < 0 ? QByteArray() : target.left(slash + 1)) + '.' + base + ".XXXXXX";

    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("cannot create a file in %1: %2")
                     .arg(QFile::decodeName(dir), errnoText(errno));
        return false;
    }

    struct stat old {};
    if (::stat(target.constData(), &old) == 0) {
        // Keep the owner and permissions of the file being replaced (best effort: only
        // root may give a file away).
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) { /* not ours to give away */ }
        ::fchmod(fd, old.st_mode & 07777);
    } else {
        ::fchmod(fd, creationMode());
    }

    int err = 0;
    if (!writeFully(fd, bytes) || ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::rename(temp.constData(), target.constData()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(temp.constData());
        *error = errnoText(err);
        return false;
    }

    // Make the rename itself durable; a failure here does not undo the write.
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

// Where the bytes go: a database reached through a symbolic link is replaced at the
// link's target, so the link survives.
QByteArray writeTarget(const QByteArray &native)
{
    struct stat st {};
    if (::lstat(native.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char *resolved = ::realpath(native.constData(), nullptr)) {
            QByteArray target(resolved);
            std::free(resolved);
            return target;
        }
    }
    return native;
}

bool reportWriteFailure(const QString &path, const QString &why)
{
    qCWarning(lcStore).noquote() << "Cannot save the element database" << path << "-" << why
                                 << "(the file was left as it was)";
    return false;
}

// What this store has just written is what it parsed: the file it renamed into place
// is taken as known, young or not, so its own writes are never read back. (A database
// reached through a link is stat'ed through the link: the same file.)
void rememberOwnWrite(const QString &path, DocumentPtr doc)
{
    g_cache.reset();
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        g_cache = CacheEntry{path, FileStamp::of(st), std::move(doc), QByteArray(), false, nowNs()};
}

// Loads the file, applies `edit`, and when that changed anything replaces the file.
// `createMissing` false: an edit of a missing file is nothing to do (deletions). False
// when the file should have changed and did not.
bool modifyIni(const QString &path, const std::function<bool(IniDocument &)> &edit,
               bool createMissing)
{
    Loaded loaded = loadIni(path);
    if (!loaded.ok) {
        // Never build a new file from nothing over one that could not be read.
        return reportWriteFailure(path, loaded.error);
    }
    if (!loaded.exists && !createMissing)
        return true;
    // A copy to edit: only the parts an edit touches are duplicated (implicit sharing).
    auto doc = std::make_shared<IniDocument>(*loaded.doc);
    loaded.doc.reset();
    if (!edit(*doc))
        return true;

    const QByteArray bytes = serializeIni(*doc);
    const QByteArray native = QFile::encodeName(path);
    QString error;
    if (!replaceFile(writeTarget(native), bytes, &error))
        return reportWriteFailure(path, error);
    // The edited document is what parsing the written bytes gives: edits build their
    // lines with the parser's own classification and only ever write names that read
    // back as written.
    rememberOwnWrite(path, std::move(doc));
    return true;
}

bool refuseName(const QString &path, const QString &what, const QString &name)
{
    QString shown = name;
    shown.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    shown.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    shown.replace(QChar(0), QLatin1String("\\0"));
    return reportWriteFailure(path, QStringLiteral("%1 \"%2\" cannot be stored").arg(what, shown));
}

} // namespace

QString ReadFromINI(const QString &strSection, const QString &strkey, const QString &strfullpath,
                    const QString &strDefault)
{
    const auto section = sectionName(strSection);
    const auto key = keyName(strkey);
    if (!section || !key)
        return cutValue(strDefault);
    const DocumentPtr docPtr = documentForReading(strfullpath);
    const IniDocument &doc = *docPtr;
    const IniSection *found = doc.find(*section);
    const IniLine *line = found ? findKey(*found, *key) : nullptr;
    if (!line)
        return cutValue(strDefault);
    return QString::fromLatin1(line->value().first(qMin(line->value().size(), kValueLimit)));
}

bool WriteToINI(const QString &strSection, const QString &strkey, const QString &strkeyvalue,
                const QString &strfullpath)
{
    return WriteManyToINI(strSection, IniPairs{{strkey, strkeyvalue}}, strfullpath);
}

bool WriteManyToINI(const QString &strSection, const IniPairs &keysAndValues,
                    const QString &strfullpath)
{
    const auto section = sectionName(strSection);
    if (!section)
        return refuseName(strfullpath, QStringLiteral("section name"), strSection);
    QList<QPair<QByteArray, QByteArray>> pairs;
    QStringList refused;
    for (const auto &pair : keysAndValues) {
        if (const auto key = keyName(pair.first))
            pairs.append({*key, storedValue(pair.second)});
        else
            refused.append(pair.first);
    }
    bool stored = true;
    if (!pairs.isEmpty()) {
        stored = modifyIni(strfullpath, [&](IniDocument &doc) {
            bool changed = false;
            for (const auto &pair : pairs)
                changed = setValue(doc, *section, pair.first, pair.second) || changed;
            return changed;
        }, true);
    }
    // As separate WriteToINI calls would: the valid keys are stored, the others refused.
    for (const QString &name : refused)
        stored = refuseName(strfullpath, QStringLiteral("key name"), name);
    return stored;
}

bool WriteSectionsToINI(const QList<IniRecord> &records, const QString &strfullpath,
                        QList<bool> *stored)
{
    // Each record as WriteManyToINI would take it; a record with a name that cannot be
    // stored fails alone, as its own call would.
    struct Edit {
        QByteArray section;
        QList<QPair<QByteArray, QByteArray>> pairs;
    };
    QList<Edit> edits;
    QList<bool> ok(records.size(), true);
    QList<qsizetype> editOf(records.size(), -1);
    for (qsizetype r = 0; r < records.size(); ++r) {
        const auto section = sectionName(records.at(r).first);
        if (!section) {
            ok[r] = refuseName(strfullpath, QStringLiteral("section name"), records.at(r).first);
            continue;
        }
        Edit edit{*section, {}};
        for (const auto &pair : records.at(r).second) {
            if (const auto key = keyName(pair.first))
                edit.pairs.append({*key, storedValue(pair.second)});
            else
                ok[r] = refuseName(strfullpath, QStringLiteral("key name"), pair.first);
        }
        if (!edit.pairs.isEmpty()) {
            editOf[r] = edits.size();
            edits.append(std::move(edit));
        }
    }
    bool written = true;
    if (!edits.isEmpty()) {
        written = modifyIni(strfullpath, [&](IniDocument &doc) {
            bool changed = false;
            for (const Edit &edit : edits)
                for (const auto &pair : edit.pairs)
                    changed = setValue(doc, edit.section, pair.first, pair.second) || changed;
            return changed;
        }, true);
    }
    bool all = true;
    for (qsizetype r = 0; r < records.size(); ++r) {
        if (editOf[r] >= 0 && !written)
            ok[r] = false;
        all = all && ok[r];
    }
    if (stored)
        *stored = ok;
    return all;
}

bool DeleteIniSection(const QString &strSection, const QString &strfullpath)
{
    const auto section = sectionName(strSection);
    if (!section)
        return true;   // a name that cannot be stored names no section
    return modifyIni(strfullpath, [&](IniDocument &doc) { return removeSection(doc, *section); }, false);
}

bool DeleteIniKey(const QString &strSection, const QString &strKeyname, const QString &strfullpath)
{
    const auto section = sectionName(strSection);
    const auto key = keyName(strKeyname);
    if (!section || !key)
        return true;
    return modifyIni(strfullpath, [&](IniDocument &doc) { return removeKey(doc, *section, *key); }, false);
}

bool CheckIfIniKeyExists(const QString &strSection, const QString &strKeyname,
                         const QString &strfullpath)
{
    // A missing key reads back as the default, a present one as its value whatever
    // the default: two different defaults tell the two apart, even for empty values.
    return ReadFromINI(strSection, strKeyname, strfullpath, QStringLiteral("A"))
        == ReadFromINI(strSection, strKeyname, strfullpath, QStringLiteral("B"));
}

bool CheckIfIniSectionExists(const QString &strSection, const QString &strfullpath)
{
    return GetSectionKeyCount(strSection, strfullpath) > 0;
}

qint32 GetLongFromINI(const QString &strSection, const QString &strKeyname,
                      const QString &strfullpath, qint32 lngDefault)
{
    const auto section = sectionName(strSection);
    const auto key = keyName(strKeyname);
    if (!section || !key)
        return lngDefault;
    const DocumentPtr docPtr = documentForReading(strfullpath);
    const IniDocument &doc = *docPtr;
    const IniSection *found = doc.find(*section);
    const IniLine *line = found ? findKey(*found, *key) : nullptr;
    if (!line)
        return lngDefault;

    // The leading whole number: optional sign, then digits; anything else ends it.
    const QByteArrayView v = line->value();
    qsizetype i = 0;
    bool negative = false;
    if (i < v.size() && (v.at(i) == '-' || v.at(i) == '+'))
        negative = v.at(i++) == '-';
    qint64 magnitude = 0;
    for (; i < v.size() && v.at(i) >= '0' && v.at(i) <= '9'; ++i) {
        magnitude = magnitude * 10 + (v.at(i) - '0');
        if (magnitude > qint64(1) << 32)
            magnitude = qint64(1) << 32;   // saturate, the clamp below finishes it
    }
    const qint64 value = negative ? -magnitude : magnitude;
    return qint32(qBound(qint64(INT32_MIN), value, qint64(INT32_MAX)));
}

bool RenameIniKey(const QString &strSection, const QString &strKeyname,
                  const QString &strNewKeyname, const QString &strfullpath)
{
    if (!CheckIfIniKeyExists(strSection, strKeyname, strfullpath))
        return true;
    const auto section = sectionName(strSection);
    const auto oldKey = keyName(strKeyname);
    const auto newKey = keyName(strNewKeyname);
    if (!newKey)
        return refuseName(strfullpath, QStringLiteral("key name"), strNewKeyname);
    // One replacement of the file; the whole value moves (not only what a read returns),
    // and renaming a key to its own name keeps it instead of deleting it.
    return modifyIni(strfullpath, [&](IniDocument &doc) {
        const IniSection *found = doc.find(*section);
        const IniLine *line = found ? findKey(*found, *oldKey) : nullptr;
        if (!line)
            return false;
        const QByteArray value = line->value().toByteArray();
        bool changed = setValue(doc, *section, *newKey, value);
        if (folded(*newKey) != folded(*oldKey))
            changed = removeKey(doc, *section, *oldKey) || changed;
        return changed;
    }, false);
}

bool RenameIniSection(const QString &strSection, const QString &strNewSection,
                      const QString &strfullpath)
{
    const auto oldName = sectionName(strSection);
    if (!oldName)
        return true;
    const auto newName = sectionName(strNewSection);
    if (!newName)
        return refuseName(strfullpath, QStringLiteral("section name"), strNewSection);
    // One replacement of the file. Each key line moves with its whole value (a value may
    // hold "="); lines that are not key lines are dropped with the old section. Renaming
    // a section to its own name only changes the spelling of its header.
    return modifyIni(strfullpath, [&](IniDocument &doc) {
        IniSection *old = doc.findForEdit(*oldName);
        if (!old)
            return false;
        if (old->foldedName == folded(*newName)) {
            const QByteArray header = '[' + *newName + ']';
            if (old->header == header)
                return false;
            old->name = *newName;
            old->header = header;
            return true;
        }
        const QList<IniLine> lines = old->body;
        ensureSection(doc, *newName);
        for (const IniLine &line : lines) {
            if (line.isKey())
                setValue(doc, *newName, line.key().toByteArray(), line.value().toByteArray());
        }
        removeSection(doc, *oldName);
        return true;
    }, false);
}

void LoadIniSectionsLB(QStringList &lstB, const QString &strfullpath)
{
    const DocumentPtr docPtr = documentForReading(strfullpath);
    const IniDocument &doc = *docPtr;
    for (qsizetype i = 0; i < doc.sections.size(); ++i) {
        const IniSection &section = doc.sections.at(i);
        // "[]" names nothing a caller could address; it is kept in the file, not listed.
        if (!section.name.isEmpty() && doc.firstByName.value(section.foldedName) == i)
            lstB.append(QString::fromLatin1(section.name));
    }
}

QList<IniSectionValues> LoadIniSectionValues(const QStringList &keys, const QString &strfullpath)
{
    QList<std::optional<QByteArray>> wanted;
    for (const QString &key : keys) {
        const auto name = keyName(key);
        wanted.append(name ? std::optional<QByteArray>(folded(*name)) : std::nullopt);
    }
    const DocumentPtr docPtr = documentForReading(strfullpath);
    const IniDocument &doc = *docPtr;
    QList<IniSectionValues> out;
    out.reserve(doc.firstByName.size());
    for (qsizetype i = 0; i < doc.sections.size(); ++i) {
        const IniSection &section = doc.sections.at(i);
        if (section.name.isEmpty() || doc.firstByName.value(section.foldedName) != i)
            continue;
        IniSectionValues entry{QString::fromLatin1(section.name), QStringList()};
        // A name ReadFromINI refuses (a NUL in a hand-edited header) reads as nothing.
        const bool readable = !hasLineBreakOrNul(section.name);
        for (const auto &key : std::as_const(wanted)) {
            const IniLine *line = nullptr;
            for (const IniLine &l : section.body) {
                if (readable && key && l.isKey() && sameName(l.key(), *key)) {
                    line = &l;
                    break;
                }
            }
            entry.second.append(line ? QString::fromLatin1(line->value().first(qMin(line->value().size(), kValueLimit)))
                                     : QString());
        }
        out.append(std::move(entry));
    }
    return out;
}

void LoadIniSectionKeysLB(const QString &strSection, QStringList &lstB, const QString &strfullpath)
{
    const auto section = sectionName(strSection);
    if (!section)
        return;
    const DocumentPtr docPtr = documentForReading(strfullpath);
    const IniDocument &doc = *docPtr;
    if (const IniSection *found = doc.find(*section)) {
        for (const IniLine &line : found->body) {
            if (line.isKey())
                lstB.append(QString::fromLatin1(line.key()));
        }
    }
}

qint16 GetSectionKeyCount(const QString &strSection, const QString &strfullpath)
{
    const auto section = sectionName(strSection);
    if (!section)
        return 0;
    const DocumentPtr docPtr = documentForReading(strfullpath);
    const IniDocument &doc = *docPtr;
    const IniSection *found = doc.find(*section);
    if (!found)
        return 0;
    qsizetype count = 0;
    for (const IniLine &line : found->body)
        count += line.isKey() ? 1 : 0;
    return qint16(qMin<qsizetype>(count, 32767));
}

QByteArray ReadIniFile(const QString &strfullpath)
{
    QFile file(strfullpath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool ReplaceIniFile(const QString &strfullpath, const QByteArray &contents, QString *error)
{
    QString why;
    const QByteArray native = QFile::encodeName(strfullpath);
    const bool ok = replaceFile(writeTarget(native), contents, &why);
    if (ok)
        rememberOwnWrite(strfullpath, std::make_shared<const IniDocument>(parseIni(contents)));
    else
        g_cache.reset();   // the next read parses what is on disk now
    if (!ok && error)
        *error = why;
    return ok;
}

int CountIniSections(const QString &strfullpath)
{
    const Loaded loaded = loadIni(strfullpath);
    if (!loaded.ok)
        return -1;
    return loaded.exists ? int(loaded.doc->firstByName.size()) : 0;
}
