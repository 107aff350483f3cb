#include "i18n/OrvHashTable.h"

namespace kestrum {

TOrvHashTable::TOrvHashTable(bool ownsFonts) : FOwnsFonts(ownsFonts) {}

TOrvHashTable::~TOrvHashTable() {
    Clear();
}

uint32_t TOrvHashTable::HashOf(const QString& key) const {
    uint32_t h = 0;
    for (QChar c : key) h = ((h << 2) | (h >> 30)) ^ c.unicode();
    return h;
}

TOrvHashItem** TOrvHashTable::FindSlot(const QString& key) {
    TOrvHashItem** slot = &FBuckets[size_t(BucketOf(key))];
    while (*slot && (*slot)->Key != key) slot = &(*slot)->Next;
    return slot;
}

const TOrvHashItem* TOrvHashTable::Find(const QString& key) const {
    const TOrvHashItem* item = FBuckets[size_t(BucketOf(key))];
    while (item && item->Key != key) item = item->Next;
    return item;
}

QString TOrvHashTable::GetValue(const QString& key) const {
    const TOrvHashItem* item = Find(key);
    return item ? item->Value : QString();
}

const TOrvFontDesc* TOrvHashTable::GetFont(const QString& key) const {
    const TOrvHashItem* item = Find(key);
    return item ? item->Font : nullptr;
}

void TOrvHashTable::AddItem(TOrvHashItem* item) {
    TOrvHashItem*& head = FBuckets[size_t(BucketOf(item->Key))];
    item->Next = head;
    head = item;
}

void TOrvHashTable::AddValue(const QString& key, const QString& value) {
    AddItem(new TOrvHashItem{nullptr, key, value, nullptr});
}

void TOrvHashTable::AddFont(const QString& key, TOrvFontDesc* font) {
    AddItem(new TOrvHashItem{nullptr, key, QString(), font});
}

void TOrvHashTable::Clear() {
    for (TOrvHashItem*& head : FBuckets) {
        TOrvHashItem* item = head;
        while (item) {
            TOrvHashItem* next = item->Next;
            if (FOwnsFonts) delete item->Font;
            delete item;
            item = next;
        }
        head = nullptr;
    }
}

} // namespace kestrum
