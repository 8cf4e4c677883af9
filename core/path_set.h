#pragma once
// Index answers and candidate sets without a copy per path: each answer is
// read into one buffer, its lines are views into it, and a candidate set is
// a sorted, de-duplicated array of such views, intersected by merging.
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qf {

// One path inside an answer buffer. Converts to std::string where a caller
// keeps the path beyond the buffer's life.
struct PathView : std::string_view {
    PathView() = default;
    PathView(const char* data, std::size_t size) : std::string_view(data, size) {}
    PathView(std::string_view view) : std::string_view(view) {}
    operator std::string() const { return std::string(data(), size()); }

    // Not in composed (NFC) form, so its place in the plain order is not
    // its byte order. Set once per path, in buffer order, when an answer is
    // read (or a set is made from strings); the plain order then never has
    // to touch them again.
    bool loose = false;
};

// The non-empty lines of one answer, in the order they came. Output that is
// not UTF-8 as a whole has no lines.
class AnswerLines {
public:
    using const_iterator = std::vector<PathView>::const_iterator;
    using value_type = PathView;

    AnswerLines() = default;
    explicit AnswerLines(std::string output);

    std::size_t size() const { return lines_.size(); }
    bool empty() const { return lines_.empty(); }
    const_iterator begin() const { return lines_.begin(); }
    const_iterator end() const { return lines_.end(); }
    const PathView& operator[](std::size_t i) const { return lines_[i]; }
    std::vector<std::string> strings() const;

private:
    friend class PathSet;
    std::shared_ptr<const std::string> buffer_;
    std::vector<PathView> lines_;
};

// A set of exact path strings in byte order (which is code-point order).
class PathSet {
public:
    using const_iterator = std::vector<PathView>::const_iterator;
    using iterator = const_iterator;
    using value_type = PathView;

    PathSet() = default;
    PathSet(std::initializer_list<std::string_view> paths);
    explicit PathSet(const std::vector<std::string>& paths);
    explicit PathSet(AnswerLines answer);

    std::size_t size() const { return paths_.size(); }
    bool empty() const { return paths_.empty(); }
    const_iterator begin() const { return paths_.begin(); }
    const_iterator end() const { return paths_.end(); }
    // Keeps only the paths that other holds too.
    void intersectWith(const PathSet& other);

private:
    void markLooseAndSort();
    void sortIfNeeded();

    std::vector<std::shared_ptr<const std::string>> buffers_;
    std::vector<PathView> paths_;
};

// The first `limit` paths of the set in plain order: code-point order of
// the composed (NFC) forms, paths with equal composed forms in byte order.
std::vector<const PathView*> firstInPlainOrder(const PathSet& candidates, std::size_t limit);

}  // namespace qf
