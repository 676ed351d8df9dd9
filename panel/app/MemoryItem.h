#pragma once

#include "SalvoFile.h"

#include <QListWidgetItem>

// A salvo in the MEMORY list: the item shows the name and owns the record.
// The list sorts by name ignoring case.
class TMemoryItem : public QListWidgetItem {
public:
    explicit TMemoryItem(TMemorySlot slot)
        : QListWidgetItem(QString::fromStdString(slot.Name)), Slot(std::move(slot)) {}
    bool operator<(const QListWidgetItem& other) const override {
        const int c = text().compare(other.text(), Qt::CaseInsensitive);
        return c != 0 ? c < 0 : text() < other.text();
    }
    TMemorySlot Slot;
};
