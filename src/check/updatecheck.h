#pragma once

#include "package/offlineentry.h"
#include <QCoreApplication>

#include <QHash>
#include <QJsonArray>
#include <QMap>
#include <QSet>
#include <QSharedPointer>
#include <QStringList>

#include <functional>

class QIODevice;
class QTemporaryFile;

// What the window's controls say when the check starts.
struct CheckSelection
{
    QList<int> checkedGroups; // indices of checked group boxes, in the boxes' order
    QMap<int, bool> execGroupSingleOs;
    int productType = 0; // the product combo's current type
    bool hasBetaBox = false;
    bool betaChecked = false;
};

// The window's members that the check leaves for the installation.
struct CheckState
{
    OfflineIndex &offlineIndex;
    QSharedPointer<QTemporaryFile> &offlineStore;
    QStringList &directoriesToCreate;
    QMap<int, QStringList> &pluginFileNames;
    QMap<int, QStringList> &plugin2FileNames;
    bool &executablePending;
    QSet<int> &searchedGroups;
    const QString &offlineFile; // where entries not yet in the store have their payloads
};

struct CheckResult
{
    enum Outcome { DuplicateType, Failed, Completed };
    Outcome outcome = Completed;
    QString duplicateType; // the type named twice, for DuplicateType
    QString log; // rich text of the activity log
    int pendingCount = 0; // pending entries, files and folders
    qint64 pendingBytes = 0;
};

// Fetches a data file ("<sha256>.bin") of the release, refusing a reply of more than maxBytes;
// false with the downloader's error text.
using DataFileFetch =
    std::function<bool(const QString &fileName, qint64 maxBytes, QByteArray *data, QString *error)>;
// Reports progress through the group being compared: value of maximum.
using CheckProgress = std::function<void(int value, int maximum)>;

// The update check: which groups apply, which of their files differ from the installation
// (SHA-256), and the verified payloads of those, kept in the temporary store and marked
// pending in the offline index. It installs nothing.
class UpdateCheck
{
    // The texts it shows are the window's and translate in the window's context.
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // runningExecutable: the updater's own file, which no entry may name.
    UpdateCheck(const QJsonArray &groups, const QString &baseDir, const QString &runningExecutable,
                bool offlineLoaded, DataFileFetch fetch, CheckProgress progress);

    CheckResult run(const CheckSelection &selection, CheckState &state);

private:
    bool checkGroup(int groupIndex, const QString &type, CheckState &state);
    bool checkFile(int groupIndex, int fileIndex, const QJsonObject &entry, bool elster,
                   CheckState &state);
    bool fetchPayload(int groupIndex, int fileIndex, const QJsonObject &entry,
                      const QString &fullPath, CheckState &state);
    bool markStoredPending(OfflineIndex::iterator stored, qint64 size, const QJsonObject &entry,
                           CheckState &state);
    bool addSharedEntry(OfflineIndex::iterator shared, int groupIndex, int fileIndex, qint64 size,
                        const QJsonObject &entry, CheckState &state);
    // size: what the document states for the content.
    bool expandFromOfflineFile(OfflineIndex::iterator stored, qint64 size,
                               const QJsonObject &fileEntry, CheckState &state);
    // Expands a payload from `in` at the end of the store and checks it against its hash name;
    // on any failure the store is cut back and a red line says why.
    bool storePayload(QIODevice &in, qint64 length, const QString &sha256,
                      const QString &mismatchTitle, const QString &fullPath, CheckState &state,
                      qint64 *offset, qint64 *size);
    void addEntry(const QString &key, const OfflineEntry &entry, CheckState &state);
    void markFolderPending(int groupIndex, int fileIndex, const QString &key, CheckState &state);
    // The entry stored for a file entry: same key and indices; end() when there is none.
    OfflineIndex::iterator storedEntry(OfflineIndex &index, const QString &key, int groupIndex,
                                       int fileIndex) const;
    bool localFileCurrent(const QString &fullPath, const QString &sha256, bool *current,
                          CheckState &state);
    void notePlugin(int groupIndex, const QString &fullPath, CheckState &state) const;

    QJsonArray groups;
    QString baseDir;
    QString runningExecutable;
    bool offlineLoaded;
    DataFileFetch fetch;
    CheckProgress progress;
    CheckResult result;
    // Look-ups that stay constant in time however many entries there are.
    QHash<quint64, OfflineIndex::iterator> entriesByIndex;
    QHash<QString, OfflineIndex::iterator> entriesByKey; // one file entry per content
    QSet<QString> foldersListed; // lower case
};
