#include "check/pendingupdate.h"

#include <QSet>

bool CheckSelection::sameChoiceAs(const CheckSelection &other) const
{
    const QSet<int> groups(checkedGroups.cbegin(), checkedGroups.cend());
    const QSet<int> otherGroups(other.checkedGroups.cbegin(), other.checkedGroups.cend());
    return groups == otherGroups && betaChecked == other.betaChecked
        && productType == other.productType;
}

int PendingUpdate::pendingCount() const
{
    int count = 0;
    for (const OfflineEntry &entry : offlineIndex)
        count += entry.pending ? 1 : 0;
    return count;
}
