#pragma once
// The line under the results: a hint that follows the query, and where the
// results come from.
#include <QString>
#include <QWidget>
#include <string>

#include "model/model.h"

class QLabel;

namespace qf {

class ElidedLabel;

// The hint for a query text: the empty-query hint when only spaces of any
// width or tabs are typed, the syntax hint otherwise.
QString hintText(const std::string& text);

class StatusLine : public QWidget {
    Q_OBJECT
public:
    explicit StatusLine(Model& model, QWidget* parent = nullptr);

    QString hint() const;
    QString source() const;
    // While the index service's first crawl goes on, the source says how far
    // it got and that results are incomplete.
    void setIndexStatus(bool crawling, long long entries);

protected:
    void changeEvent(QEvent* event) override;

private:
    void refreshColours();

    Model& model_;
    ElidedLabel* hint_;
    QLabel* source_;
};

}  // namespace qf
