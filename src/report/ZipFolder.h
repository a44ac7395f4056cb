// ZipFolder.h: unpacks a ZIP archive into a folder and packs a folder into a ZIP archive.
#pragma once

#include <QString>
#include <QtGlobal>

// Bounds that protect the disk from archives whose entries inflate far beyond their packed size.
struct UnzipLimits
{
    qint64 maxEntrySize = qint64(256) * 1024 * 1024;  // bytes of one extracted file
    qint64 maxTotalSize = qint64(1024) * 1024 * 1024; // bytes of all extracted files together
};

// Extracts every entry of the archive below targetDir (created when missing). Entries whose names
// are absolute or lead out of targetDir, symbolic-link entries and entries that inflate beyond the
// limits are refused, and nothing is written outside targetDir. Directory entries create their
// folder even when empty. On failure returns false and, when error is given, stores the message;
// files extracted before the failure stay in targetDir. Any thread may call it.
bool unzipToDirectory(const QString &zipPath, const QString &targetDir, QString *error);
bool unzipToDirectory(const QString &zipPath, const QString &targetDir, QString *error,
                      const UnzipLimits &limits);

// Writes a new archive (replacing zipPath) that holds every file below sourceDir, hidden ones
// included, named by its path relative to sourceDir with "/" separators, deflated at level 1.
// Empty folders are not stored. The archive appears only when it is complete. Any thread may call
// it.
bool zipDirectory(const QString &sourceDir, const QString &zipPath, QString *error);
