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
    // it got and that results are incomplete; so it does while folders the
    // crawl could not read wait for another try.
    void setIndexStatus(bool crawling, long long entries, long long unlistedFolders);
    // While the index settings file cannot be used, the source says why,
    // before anything else: results lack what it would let in.
    void setSettingsFailure(const QString& failure, bool held);

protected:
    void changeEvent(QEvent* event) override;

private:
    void refreshColours();
    void refreshSource();

    Model& model_;
    ElidedLabel* hint_;
    QLabel* source_;
    bool crawling_ = false;
    long long entries_ = 0;
    long long unlisted_ = 0;
    QString settingsFailure_;
    bool settingsHeld_ = false;
};

}  // namespace qf
