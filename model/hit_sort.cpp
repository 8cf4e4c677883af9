#include "model/hit_sort.h"

#include <QLocale>
#include <algorithm>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "core/text.h"

namespace qf {

namespace {

std::unique_ptr<icu::Collator> nameCollator(const std::string& locale) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(icu::Locale(locale.c_str()), status));
    if (U_FAILURE(status) || !collator) {
        status = U_ZERO_ERROR;
        collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) return nullptr;
    }
    // Secondary strength tells accents apart but not case; numeric collation
    // puts file2 before file10.
    collator->setStrength(icu::Collator::SECONDARY);
    status = U_ZERO_ERROR;
    collator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    return collator;
}

std::string collationKey(const icu::Collator& collator, const std::string& name) {
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(name);
    std::string key(64, '\0');
    int32_t length =
        collator.getSortKey(text, reinterpret_cast<uint8_t*>(key.data()), static_cast<int32_t>(key.size()));
    if (length > static_cast<int32_t>(key.size())) {
        key.resize(static_cast<std::size_t>(length));
        length = collator.getSortKey(text, reinterpret_cast<uint8_t*>(key.data()), length);
    }
    // The key ends in a NUL byte that takes no part in the order.
    key.resize(length > 0 ? static_cast<std::size_t>(length - 1) : 0);
    return key;
}

// One byte string per hit whose byte order is the name order; computed once
// per sort instead of collating inside every comparison.
std::vector<std::string> nameKeys(const std::vector<Hit>& hits, const std::string& locale) {
    std::vector<std::string> keys;
    keys.reserve(hits.size());
    const auto collator = nameCollator(locale);
    for (const auto& hit : hits) keys.push_back(collator ? collationKey(*collator, hit.name()) : lowerCase(hit.name()));
    return keys;
}

double dateOrEarliest(const std::optional<Date>& date) {
    return date ? *date : -std::numeric_limits<double>::infinity();
}

template <typename Value>
std::vector<std::size_t> stableOrder(const std::vector<Value>& values, bool ascending) {
    std::vector<std::size_t> order(values.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return ascending ? values[a] < values[b] : values[b] < values[a];
    });
    return order;
}

template <typename Field>
std::vector<std::size_t> orderBy(const std::vector<Hit>& hits, bool ascending, Field field) {
    std::vector<decltype(field(hits.front()))> values;
    values.reserve(hits.size());
    for (const auto& hit : hits) values.push_back(field(hit));
    return stableOrder(values, ascending);
}

std::vector<std::size_t> sortOrder(const std::vector<Hit>& hits, SortKey key, bool ascending,
                                   const std::string& locale) {
    switch (key) {
        case SortKey::name:
            return stableOrder(nameKeys(hits, locale), ascending);
        case SortKey::size:
            return orderBy(hits, ascending, [](const Hit& h) { return h.size(); });
        case SortKey::date:
            return orderBy(hits, ascending, [](const Hit& h) { return dateOrEarliest(h.modified()); });
        case SortKey::created:
            return orderBy(hits, ascending, [](const Hit& h) { return dateOrEarliest(h.created()); });
    }
    return {};
}

}  // namespace

bool ascendingWhenPicked(SortKey key) { return key == SortKey::name; }

std::string userCollationLocale() { return QLocale::system().collation().name().toStdString(); }

void sortHits(std::vector<Hit>& hits, SortKey key, bool ascending, const std::string& locale) {
    if (hits.size() < 2) return;
    const std::vector<std::size_t> order = sortOrder(hits, key, ascending, locale);
    std::vector<Hit> sorted;
    sorted.reserve(hits.size());
    for (std::size_t index : order) sorted.push_back(std::move(hits[index]));
    hits = std::move(sorted);
}

void sortHits(std::vector<Hit>& hits, SortKey key, bool ascending) {
    sortHits(hits, key, ascending, userCollationLocale());
}

}  // namespace qf
