#pragma once
// The one window of the application: the Full Disk Access banner, the
// search bar, the header row, the results and the status line, with the
// preview column at the right when switched on. It binds the controls to the
// Model it is given and forwards edits to it. The Model must outlive the
// window, whose controls read it until Qt deletes them after ~MainWindow;
// ContentView owns the two in that order.
//
// Row menu hook: the results emit ResultsView::rowMenuRequested(const
// qf::Hit&, const QPoint& globalPos) on a secondary click; the window passes
// it to the handler given to
//     void MainWindow::setRowMenuHandler(RowMenuHandler handler);
// with RowMenuHandler = std::function<void(const qf::Hit&, const QPoint&)>.
// The hit is the clicked row's own (not the selected one); the row is not
// selected by the click.
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "core/hit.h"
#include "model/model.h"

class QLineEdit;
class QSettings;
class QVBoxLayout;
class QHBoxLayout;

namespace qf {

class Divider;
class FdaBanner;
class HeaderRow;
class PreviewColumn;
class ResultsView;
class RowMenuKeys;
class SearchBar;
class StatusLine;

struct MainWindowOptions {
    // Where "showPreview" is kept; empty: the application's settings.
    QString settingsFile;
    // The full disk access check; empty: probing the protected folders.
    std::function<bool()> hasFullDiskAccess;
    // Opens the settings link; empty: the desktop's URL handler.
    std::function<void(const QUrl&)> openUrl;
};

class MainWindow : public QWidget {
    Q_OBJECT
public:
    using RowMenuHandler = std::function<void(const qf::Hit&, const QPoint&)>;

    static constexpr int kMinWidth = 760;
    static constexpr int kMinWidthWithPreview = 1080;
    static constexpr int kMinHeight = 480;

    // Runs the Model's start-up sequence once the controls are bound to it,
    // so they show what it sets; a Model is given to one window only.
    explicit MainWindow(Model& model, MainWindowOptions options = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    Model& model() const { return model_; }

    void setRowMenuHandler(RowMenuHandler handler);

    bool showPreview() const { return showPreview_; }
    void setShowPreview(bool on);
    bool noFDA() const { return noFDA_; }
    // Runs the full disk access check and shows the banner when it fails.
    void checkFullDiskAccess();

    SearchBar* searchBar() const { return searchBar_; }
    QLineEdit* searchField() const;
    HeaderRow* headerRow() const { return headerRow_; }
    ResultsView* resultsView() const { return results_; }
    StatusLine* statusLine() const { return statusLine_; }
    FdaBanner* banner() const { return banner_; }
    PreviewColumn* previewColumn() const { return previewColumn_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildMainColumn();
    void bindModel();
    void onTextAssigned();
    void onTextEdited(const QString& text);
    void refreshPreview();
    void applyMinimumSize();
    std::unique_ptr<QSettings> settings() const;

    Model& model_;
    MainWindowOptions options_;
    RowMenuHandler rowMenuHandler_;
    std::string lastText_;
    bool showPreview_ = false;
    bool noFDA_ = false;
    bool shownOnce_ = false;

    QHBoxLayout* root_ = nullptr;
    QVBoxLayout* mainColumn_ = nullptr;
    FdaBanner* banner_ = nullptr;
    SearchBar* searchBar_ = nullptr;
    HeaderRow* headerRow_ = nullptr;
    ResultsView* results_ = nullptr;
    StatusLine* statusLine_ = nullptr;
    Divider* previewDivider_ = nullptr;
    PreviewColumn* previewColumn_ = nullptr;
    RowMenuKeys* menuKeys_ = nullptr;
};

}  // namespace qf
