#include "ui/main_window.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QSettings>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ui/arrow_key_filter.h"
#include "ui/divider.h"
#include "ui/fda_banner.h"
#include "ui/full_disk_access.h"
#include "ui/header_row.h"
#include "ui/options_menu.h"
#include "ui/preview_column.h"
#include "ui/results_view.h"
#include "ui/row_menu_keys.h"
#include "ui/search_bar.h"
#include "ui/status_line.h"

namespace qf {

namespace {

const QString kShowPreviewKey = QStringLiteral("showPreview");

}  // namespace

MainWindow::MainWindow(Model& model, MainWindowOptions options, QWidget* parent)
    : QWidget(parent), model_(model), options_(std::move(options)) {
    setWindowTitle(QStringLiteral("Quillfind"));
    showPreview_ = settings()->value(kShowPreviewKey, false).toBool();

    root_ = new QHBoxLayout(this);
    root_->setContentsMargins(0, 0, 0, 0);
    root_->setSpacing(0);
    buildMainColumn();
    searchBar_->setPreviewShown(showPreview_);
    if (showPreview_) {
        showPreview_ = false;
        setShowPreview(true);
    }
    applyMinimumSize();
    resize(std::max(minimumWidth(), showPreview_ ? 1240 : 980), 640);

    new ArrowKeyFilter(model_, this, this);
    bindModel();
}

MainWindow::~MainWindow() {
    // The menu keys' filter sees every event of the application: it goes
    // before the controls it would look at.
    delete menuKeys_;
    menuKeys_ = nullptr;
    // Qt deletes the controls after this body; whatever they assign to the
    // Model on the way out must not reach this window's slots any more.
    disconnect(&model_, nullptr, this, nullptr);
}

void MainWindow::buildMainColumn() {
    auto* column = new QWidget(this);
    mainColumn_ = new QVBoxLayout(column);
    mainColumn_->setContentsMargins(0, 0, 0, 0);
    mainColumn_->setSpacing(0);

    banner_ = new FdaBanner(column);
    banner_->setVisible(false);
    mainColumn_->addWidget(banner_);
    searchBar_ = new SearchBar(model_, column);
    mainColumn_->addWidget(searchBar_);
    mainColumn_->addWidget(new Divider(Qt::Horizontal, column));
    headerRow_ = new HeaderRow(model_, column);
    mainColumn_->addWidget(headerRow_);
    mainColumn_->addWidget(new Divider(Qt::Horizontal, column));
    results_ = new ResultsView(model_, column);
    mainColumn_->addWidget(results_, 1);
    mainColumn_->addWidget(new Divider(Qt::Horizontal, column));
    statusLine_ = new StatusLine(model_, column);
    mainColumn_->addWidget(statusLine_);
    root_->addWidget(column, 1);

    connect(searchBar_->field(), &QLineEdit::textEdited, this, &MainWindow::onTextEdited);
    connect(searchBar_->field(), &QLineEdit::returnPressed, this, [this] { model_.submit(); });
    connect(searchBar_, &SearchBar::previewToggleClicked, this, [this] { setShowPreview(!showPreview_); });
    connect(searchBar_->optionsMenu(), &OptionsMenu::exampleChosen, this,
            [this](const QString& text) { model_.setText(text.toStdString()); });
    connect(results_, &ResultsView::scrollBarWidthChanged, headerRow_, &HeaderRow::setScrollBarWidth);
    // The table tells a screen reader its order, which the eye takes from
    // the header's arrow.
    results_->setAccessibleDescription(headerRow_->sortDescription());
    connect(headerRow_, &HeaderRow::sortDescriptionChanged, results_, &ResultsView::setAccessibleDescription);
    menuKeys_ = new RowMenuKeys(results_, this, this);
    connect(results_, &ResultsView::rowMenuRequested, this, [this](const Hit& hit, const QPoint& pos) {
        if (rowMenuHandler_) rowMenuHandler_(hit, pos);
    });
    connect(banner_, &FdaBanner::recheckRequested, this, &MainWindow::checkFullDiskAccess);
    connect(banner_, &FdaBanner::openSettingsRequested, this, [this] {
        const QUrl link(QString::fromStdString(fullDiskAccessSettingsLink()), QUrl::StrictMode);
        if (!link.isValid()) return;
        if (options_.openUrl)
            options_.openUrl(link);
        else
            QDesktopServices::openUrl(link);
    });
}

void MainWindow::bindModel() {
    model_.start();
    // What the Model's start-up put into the field is not an edit.
    lastText_ = model_.text();
    connect(&model_, &Model::textAssigned, this, &MainWindow::onTextAssigned);
    connect(&model_, &Model::hitsAssigned, this, &MainWindow::refreshPreview);
    connect(&model_, &Model::selectedPathAssigned, this, &MainWindow::refreshPreview);
    refreshPreview();
}

void MainWindow::onTextAssigned() {
    // Typing, pasting, an example query and the simulate mode all end here;
    // an assignment of the same text is no edit.
    if (model_.text() == lastText_) return;
    lastText_ = model_.text();
    model_.setSelectedPath(std::nullopt);
    model_.textChanged();
}

void MainWindow::onTextEdited(const QString& text) { model_.setText(text.toStdString()); }

void MainWindow::setRowMenuHandler(RowMenuHandler handler) { rowMenuHandler_ = std::move(handler); }

QLineEdit* MainWindow::searchField() const { return searchBar_->field(); }

void MainWindow::setShowPreview(bool on) {
    if (on == showPreview_) return;
    showPreview_ = on;
    auto store = settings();
    store->setValue(kShowPreviewKey, on);
    store->sync();
    if (on) {
        previewDivider_ = new Divider(Qt::Vertical, this);
        root_->addWidget(previewDivider_);
        previewColumn_ = new PreviewColumn(this);
        root_->addWidget(previewColumn_);
        previewDivider_->show();
        previewColumn_->show();
        refreshPreview();
    } else {
        // Hiding the column discards its preview; showing it makes a new one.
        delete previewColumn_;
        previewColumn_ = nullptr;
        delete previewDivider_;
        previewDivider_ = nullptr;
    }
    searchBar_->setPreviewShown(on);
    applyMinimumSize();
}

void MainWindow::refreshPreview() {
    if (previewColumn_) previewColumn_->showHit(model_.selectedHit());
}

void MainWindow::applyMinimumSize() { setMinimumSize(showPreview_ ? kMinWidthWithPreview : kMinWidth, kMinHeight); }

void MainWindow::checkFullDiskAccess() {
    const bool granted = options_.hasFullDiskAccess ? options_.hasFullDiskAccess() : hasFullDiskAccess();
    noFDA_ = !granted;
    banner_->setVisible(noFDA_);
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shownOnce_ || event->spontaneous()) return;
    shownOnce_ = true;
    searchBar_->field()->setFocus(Qt::OtherFocusReason);
    checkFullDiskAccess();
}

std::unique_ptr<QSettings> MainWindow::settings() const {
    if (options_.settingsFile.isEmpty()) return std::make_unique<QSettings>();
    return std::make_unique<QSettings>(options_.settingsFile, QSettings::IniFormat);
}

}  // namespace qf
