#include "model/search_plan.h"

#include "core/text.h"
#include "core/tokenizer.h"
#include "model/expression_literals.h"

namespace qf {

namespace {

bool hasTwoOrMoreChars(const std::string& token) { return charCount(token) >= 2; }

bool sameText(const std::string& a, const std::string& b) { return a == b || nfc(a) == nfc(b); }

SearchPlan planWords(const std::vector<std::string>& tokens) {
    SearchPlan plan;
    std::vector<std::string> plain;
    std::vector<std::string> shortTerms;
    for (const auto& token : tokens) {
        if (isPatternToken(token)) {
            plan.patternTokens.push_back(lowerCase(token));
            continue;
        }
        plain.push_back(token);
        if (!isWideShortToken(token))
            plan.indexTerms.push_back(token);
        else if (hasTwoOrMoreChars(token))
            shortTerms.push_back(token);
    }

    if (!plan.indexTerms.empty()) {
        plan.literalFilter = std::move(shortTerms);
        return plan;
    }
    if (plain.empty()) return plan;

    if (plan.patternTokens.empty()) {
        for (const auto& token : plain) {
            if (hasTwoOrMoreChars(token)) {
                plan.chosenLiteral = token;
                break;
            }
        }
    }
    for (const auto& token : plain) {
        if (!hasTwoOrMoreChars(token)) continue;
        if (plan.chosenLiteral && sameText(token, *plan.chosenLiteral)) continue;
        plan.literalFilter.push_back(token);
    }
    return plan;
}

PlanOutcome planExpression(const std::vector<std::string>& tokens, bool caseSensitive) {
    std::string text;
    for (const auto& token : tokens) {
        if (!text.empty()) text += ' ';
        text += token;
    }
    auto expression = Regex::compile(text, !caseSensitive);
    if (!expression) return PlanStop::expressionInvalid;

    SearchPlan plan;
    // Only the runs a matching name must contain go to the index: the letters of
    // \d or [abc] are not name text.
    plan.indexTerms = requiredLiterals(text);
    if (plan.indexTerms.empty()) return PlanStop::expressionUnusable;
    plan.expression = std::move(expression);
    return plan;
}

}  // namespace

PlanOutcome planSearch(std::vector<std::string> tokens, bool regexMode, bool caseSensitive) {
    if (regexMode) return planExpression(tokens, caseSensitive);

    for (auto& token : tokens) token = pathTailToken(token);
    SearchPlan plan = planWords(tokens);
    plan.caseSensitiveCheck = caseSensitive;
    return plan;
}

}  // namespace qf
