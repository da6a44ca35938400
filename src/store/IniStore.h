#pragma once
// The only way into nms.ini. Every call looks at the file on disk, reads or rewrites it:
// what one call writes the next one sees. (A parse of the file is reused only while the
// file is provably unchanged; see IniStore.cpp.)
//
// Semantics kept from the station's original profile functions: section and key names
// match without regard to case, keys are written upper case and read by their lower-case
// name, values are trimmed, a new section goes to the end of the file and a new key to
// the end of its section, a rewritten key keeps its place, lines end in CR LF, the text
// is 8-bit (Latin-1), a value reads back at most 749 characters.
//
// Beyond them: every write replaces the file atomically (temporary file beside it, flush,
// rename), so a crash or a full disk never leaves a torn database; a failed write leaves
// the old file, is reported on standard error and makes the write return false. A value is cut at its first NUL and CR
// or LF in it are written as blanks, so no value can break its line. Section listings
// have no size ceiling.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

QString ReadFromINI(const QString &strSection, const QString &strkey, const QString &strfullpath,
                    const QString &strDefault = QString());
bool WriteToINI(const QString &strSection, const QString &strkey, const QString &strkeyvalue,
               const QString &strfullpath);
bool DeleteIniSection(const QString &strSection, const QString &strfullpath);
bool DeleteIniKey(const QString &strSection, const QString &strKeyname, const QString &strfullpath);
bool CheckIfIniKeyExists(const QString &strSection, const QString &strKeyname,
                         const QString &strfullpath);
bool CheckIfIniSectionExists(const QString &strSection, const QString &strfullpath);
qint32 GetLongFromINI(const QString &strSection, const QString &strKeyname,
                      const QString &strfullpath, qint32 lngDefault = 0);
bool RenameIniKey(const QString &strSection, const QString &strKeyname,
                  const QString &strNewKeyname, const QString &strfullpath);
bool RenameIniSection(const QString &strSection, const QString &strNewSection,
                      const QString &strfullpath);
void LoadIniSectionsLB(QStringList &lstB, const QString &strfullpath);
void LoadIniSectionKeysLB(const QString &strSection, QStringList &lstB, const QString &strfullpath);
// Every section LoadIniSectionsLB lists, in its order, with the values of `keys` as
// ReadFromINI reads them (empty when missing): a tree of thousands of elements in one
// look at the file instead of one per key.
using IniSectionValues = QPair<QString, QStringList>;
QList<IniSectionValues> LoadIniSectionValues(const QStringList &keys, const QString &strfullpath);
qint16 GetSectionKeyCount(const QString &strSection, const QString &strfullpath);

// Several WriteToINI calls on one section as a single atomic replacement of the file: the
// result on disk is the same as the calls made one by one, in the same order. Every write
// returns whether the file now holds what was asked (nothing to change counts as done).
using IniPairs = QList<QPair<QString, QString>>;
bool WriteManyToINI(const QString &strSection, const IniPairs &keysAndValues,
                    const QString &strfullpath);

// Many records as one atomic replacement of the file (a discovery's answers that arrived
// together): the file ends up exactly as after WriteManyToINI for each record in turn,
// and a crash leaves it with all of them or none. *stored says, per record, whether it is
// in the file now; false when any is not.
using IniRecord = QPair<QString, IniPairs>;
bool WriteSectionsToINI(const QList<IniRecord> &records, const QString &strfullpath,
                        QList<bool> *stored = nullptr);

// The whole file as it is now (empty when missing), and its atomic replacement by such
// bytes: a discovery keeps the database it empties and puts it back byte for byte when
// nothing came of it. False with the reason in *error when the file was left as it was.
QByteArray ReadIniFile(const QString &strfullpath);
bool ReplaceIniFile(const QString &strfullpath, const QByteArray &contents, QString *error);
// The number of sections (elements) in the file; -1 when it cannot be read.
int CountIniSections(const QString &strfullpath);
