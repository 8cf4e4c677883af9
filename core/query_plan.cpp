#include "core/query_plan.h"

#include <algorithm>

#include "core/matcher.h"
#include "core/spotlight.h"
#include "core/text.h"
#include "core/tokenizer.h"

namespace qf {

namespace {

bool canonicallyEqual(const std::string& a, const std::string& b) { return a == b || nfc(a) == nfc(b); }

}  // namespace

QueryPlan planQuery(const std::vector<std::string>& tokens) {
    QueryPlan plan;
    std::vector<std::string> shortTerms;
    for (const auto& token : tokens) {
        if (isPatternToken(token)) {
            plan.patternTokens.push_back(lowerCase(token));
        } else if (!isWideShortToken(token)) {
            plan.indexTerms.push_back(token);
        } else if (charCount(token) >= 2) {
            shortTerms.push_back(token);
        }
    }
    if (!plan.indexTerms.empty()) {
        plan.literalFilter = std::move(shortTerms);
        return plan;
    }
    // Without index terms every plain token of two or more characters is a
    // short term; one of them may become the substring question.
    if (plan.patternTokens.empty() && !shortTerms.empty()) plan.chosenLiteral = shortTerms.front();
    for (auto& term : shortTerms) {
        if (!plan.chosenLiteral || !canonicallyEqual(term, *plan.chosenLiteral))
            plan.literalFilter.push_back(std::move(term));
    }
    return plan;
}

std::optional<std::string> nameQueryCommand(const QueryPlan& plan) {
    if (!plan.patternTokens.empty()) return wildcardNameQuery(plan.patternTokens.front());
    if (plan.chosenLiteral) return substringNameQuery(*plan.chosenLiteral);
    return std::nullopt;
}

bool acceptsName(const QueryPlan& plan, std::string_view name, bool caseSensitive) {
    for (const auto& token : plan.patternTokens) {
        if (!patternMatch(token, name)) return false;
    }
    if (plan.literalFilter.empty()) return true;
    const std::string subject = caseSensitive ? std::string(name) : lowerCase(name);
    return std::all_of(plan.literalFilter.begin(), plan.literalFilter.end(), [&](const std::string& term) {
        return containsCanonical(subject, caseSensitive ? term : lowerCase(term));
    });
}

}  // namespace qf
