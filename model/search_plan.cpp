#include "model/search_plan.h"

#include "core/text.h"
#include "core/tokenizer.h"
#include "model/expression_literals.h"

namespace qf {

namespace {

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
    SearchPlan plan;
    static_cast<QueryPlan&>(plan) = planQuery(tokens);
    plan.caseSensitiveCheck = caseSensitive;
    return plan;
}

}  // namespace qf
