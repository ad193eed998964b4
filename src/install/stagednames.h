#pragma once

#include <QSet>
#include <QString>

// The names that staged targets and their staging files take, in one spelling for each path
// Windows takes as the same (separators, "." and ".." folded, case ignored): whether another
// target could change what they hold.
class StagedNames
{
public:
    void add(const QString &target);
    void remove(const QString &target);
    void clear() { names.clear(); }
    // The same file under another spelling, a target named like a staging file of the set or
    // the other way round, or a target inside a staged target.
    bool collides(const QString &target) const;

private:
    QSet<QString> names;
};
