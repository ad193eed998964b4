#pragma once

#include "check/pendingupdate.h"
#include "common/logline.h"
#include "install/installationfolders.h"
#include "install/stagedbatch.h"
#include "install/stagedwrite.h"
#include "package/releasenumbers.h"
#include "package/targetpath.h"
#include "package/updatedocument.h"
#include "package/versionrecord.h"

#include <QCoreApplication>
#include <QSet>

#include <functional>

class InstallationLock;
class PlatformServices;
class QFileDevice;
class StagingAhead;

struct InstallRequest
{
    UpdateDocument document;
    QString baseDir;
    bool updaterOutdated = false; // install the updater's group (index 0) only
    VersionRecord record; // written after the files, only when all were installed
    QString runningExecutable; // the updater's own file, which no entry may replace
    // A signed release's number and document, kept in this file (the updater's own, beside it)
    // with the record, so that no older release of the year, and no other document under the
    // same number, is installed after it. Empty: unsigned.
    QString releaseNumbersPath;
    InstalledRelease release;
    bool allowOlder = false; // the user allowed an older offline release
    // The InstallationLock's file; empty: none is taken.
    QString lockPath;
};

struct InstallResult
{
    bool error = false;
    ActivityLog log;
    int installed = 0; // entries written without error, folders included
    // Another updater held the installation: raised rights would not help, only waiting.
    bool otherUpdaterWriting = false;
};

// Writes every pending folder and file of a pending update with the times the document
// records, cleaning stale plug-ins of each "elster" group first, then the version record. Each file
// is staged beside its target and replaces it only when the whole, verified payload is on the
// disk (StagedWrite, synced a batch at a time by StagedBatch), so a failure or a killed process
// leaves the old file intact. Installed entries lose their pending mark.
class FileInstaller
{
    // The texts it shows are the window's and translate in the window's context.
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    FileInstaller(const InstallRequest &request, PlatformServices &platform,
                  std::function<void(int value, int maximum)> progress);

    InstallResult run(PendingUpdate &update);

private:
    bool installsEntry(const OfflineEntry &entry) const;
    // The full path of a target path; nothing when the entry may not be written there. With
    // `checked`, for look-ups that write nothing between them.
    std::optional<QString> targetOf(const QString &targetPath,
                                    CheckedFolders *checked = nullptr) const;
    const FileEntry &fileEntryOf(const OfflineEntry &entry) const;
    bool verifyPending(const OfflineIndex &index, QFileDevice *store);
    bool writeVersionRecord();
    bool takeLock(InstallationLock &lock);
    bool readReleaseRecord(ReleaseNumbers *numbers);
    bool releaseStillNewest(const ReleaseNumbers &numbers);
    bool writeReleaseNumber(const ReleaseNumbers &numbers);
    // Only reads the index: the pending marks change after the loop, in markInstalled.
    void installPending(const PendingUpdate &update);
    bool installEntry(const QString &key, const OfflineEntry &entry, const FileEntry &fileEntry,
                      QFileDevice *store);
    void markInstalled(OfflineIndex &index) const;
    void cleanPlugins(int groupIndex, const PendingUpdate &update);
    void cleanPluginFolder(const QString &path, const QStringList &keep);
    void cleanPlugins(const FolderHandle &folder, const QStringList &keep);
    bool installFolder(const FileEntry &fileEntry, const QString &target);
    bool failPlace(InstallationFolders::Refusal refusal, const FileEntry &fileEntry,
                   const QString &folder, const QString &error);
    // Stages the file; it takes its target's place when the batch is committed.
    bool installFile(const QString &key, const OfflineEntry &entry, const FileEntry &fileEntry,
                     const QString &target, QFileDevice *store);
    void stageAhead();
    // Stages the entry's content from the store; a store that cannot be read is a mismatch.
    StagedWrite::Result stageFrom(QFileDevice *store, const OfflineEntry &entry,
                                  const FileEntry &fileEntry, const FolderHandle::File &target,
                                  const StagedWrite::Times &times, QString *hash, QString *error);
    // Moves the staged files over their targets; false when one could not take its place.
    bool commitStaged();
    // A failure of the file being staged: those staged before it are committed first, so that
    // the run stops where it would have stopped writing file by file.
    bool failStaging(const QString &title, const QString &detail1,
                     const QString &detail2 = QString());
    bool fail(const QString &title, const QString &detail1, const QString &detail2 = QString());

    InstallRequest request;
    PlatformServices &platform;
    std::function<void(int, int)> progress;
    InstallResult result;
    QSet<int> elsterCleaned;
    QList<QPair<QString, OfflineEntry>> installed;
    struct Staged
    {
        QString key;
        OfflineEntry entry;
        QString target;
        FolderHandle::File place;
        StagedWrite::Times times;
    };
    InstallationFolders folders;
    StagedBatch batch;
    QVector<Staged> staged; // what the batch holds, in its order
    // The installation's order of the index, the position taken, and the files staged ahead.
    QVector<OfflineIndex::const_iterator> order;
    int position = 0;
    int aheadFrom = 0; // the first position not yet looked at for staging ahead
    StagingAhead *ahead = nullptr; // while the pending entries are installed
};
