#pragma once

#include "package/offlineentry.h"

#include <QList>
#include <QMap>
#include <QSharedPointer>
#include <QStringList>

class QTemporaryFile;

// What the window's controls say when the check starts.
struct CheckSelection
{
    QList<int> checkedGroups; // indices of checked groups, in the document's order
    QMap<int, bool> execGroupSingleOs; // shown exec groups: whether they name one specific system
    int productType = 0; // the product combo's current type
    bool hasBetaBox = false;
    bool betaChecked = false;

    // The same choice: the same groups checked, the same beta state and edition.
    bool sameChoiceAs(const CheckSelection &other) const;
};

// What an update check leaves for the installation: the payloads it verified, kept in the
// store and marked pending in the index, and the selection it worked on. The window owns one;
// an offline update file fills the index before the first check.
struct PendingUpdate
{
    OfflineIndex offlineIndex;
    QSharedPointer<QTemporaryFile>
        offlineStore; // expanded payloads back to back; made when first needed
    QString offlineFile; // where entries not yet in the store have their compressed payloads
    QStringList directoriesToCreate;
    QMap<int, QStringList> pluginFileNames; // per elster group: the files its plugins/ keeps
    QMap<int, QStringList> plugin2FileNames; // the same for plugins2/
    // An installed .exe or .dll was compared, current or not: the main application may hold it,
    // so the installation waits for it to close.
    bool executablePending = false;
    CheckSelection searched;
    bool searchCompleted = false; // the check ran to its end

    // Only a check that ran to its end on the current choice says what is to be installed.
    bool isCurrentFor(const CheckSelection &selection) const
    {
        return searchCompleted && searched.sameChoiceAs(selection);
    }
    int pendingCount() const;
};
