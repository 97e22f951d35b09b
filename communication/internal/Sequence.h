#pragma once

#include "communication/Address.h"
#include "communication/internal/Session.h"

#include <QList>

#include <optional>

namespace Hvd::Weft::Communication::Internal
{

// The commands one session sends and the part of the address they go to.
struct Sequence
{
    Sequence() = default;
    Sequence(Address::Type type, Session::Data data)
        : items{std::move(data)}
        , addressType(type)
    {
    }
    Sequence(Address::Type type, QList<Session::Data> list)
        : items(std::move(list))
        , addressType(type)
    {
    }

    // The command whose response is awaited next.
    std::optional<Session::Data> getCurrent() const
    {
        if (current < 0 || current >= items.size())
            return std::nullopt;
        return items[current];
    }
    bool hasFurtherItem() const { return current + 1 < items.size(); }

    QList<Session::Data> items;
    int current = 0;
    Address::Type addressType = Address::Type::Invalid;
};

// A plan of sessions, sent one after the other.
struct Sequences
{
    // Moves on to the next sequence and returns a copy of it; nothing at the end.
    std::optional<Sequence> getNext()
    {
        if (list.isEmpty() || index + 1 >= list.size())
            return std::nullopt;
        ++index;
        return list[index];
    }
    bool hasFurtherSequence() const { return index + 1 < list.size(); }
    Sequence* running() { return index >= 0 && index < list.size() ? &list[index] : nullptr; }
    void clear()
    {
        list.clear();
        index = 0;
    }
    // Number of commands over all sequences.
    unsigned commandCount() const
    {
        unsigned count = 0;
        for (const Sequence& sequence : list)
            count += static_cast<unsigned>(sequence.items.size());
        return count;
    }

    QList<Sequence> list;
    int index = 0;
};

} // namespace Hvd::Weft::Communication::Internal
