#include "panel/FramesModel.h"

#include <QBrush>
#include <QBuffer>
#include <QImageReader>

#include "frames/FrameFile.h"
#include "frames/FrameVerdict.h"
#include "platform/UiThread.h"

namespace {

// About 300 thumbnails of 1080p frames: a few screens.
constexpr int kThumbnailCacheKb = 40 * 1024;
constexpr int kThumbnailScale = 8;

}  // namespace

FramesModel::FramesModel(std::string frameDir, const DayRules& rules, QObject* parent)
    : QAbstractListModel(parent),
      m_frameDir(std::move(frameDir)),
      m_thumbnails(kThumbnailCacheKb),
      m_self(this),
      m_worker([this, rules] { Work(rules); }) {}

FramesModel::~FramesModel() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_worker.join();
}

void FramesModel::PostToUiThread(std::function<void(FramesModel&)> call) const {
    // Through RunOnUiThread's queue, whose lock ThreadSanitizer sees; dropped once the model is
    // gone.
    RunOnUiThread([self = m_self, call = std::move(call)] {
        if (self) {
            call(*self);
        }
    });
}

void FramesModel::Work(const DayRules& rules) {
    PostToUiThread([catalog = FrameCatalog::Read(m_frameDir, rules)](FramesModel& model) mutable {
        model.TakeCatalog(std::move(catalog));
    });
    Request request;
    while (NextRequest(request)) {
        PostToUiThread([row = request.row, look = LookAt(request.number, request.before)](
                           FramesModel& model) { model.Take(row, look); });
    }
}

bool FramesModel::NextRequest(Request& request) {
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [this] { return m_stop || !m_requests.empty(); });
    if (m_stop) {
        return false;
    }
    // The newest first: the rows the user looks at now.
    request = m_requests.back();
    m_requests.pop_back();
    return true;
}

FramesModel::Look FramesModel::LookAt(int number, std::optional<int> before) const {
    std::vector<uchar> bytes;
    const FrameVerdict verdict =
        JudgeFrameFile(FramePath(m_frameDir, number),
                       before ? FramePath(m_frameDir, *before) : std::string(), bytes);
    Look look{QImage(), verdict.Good() ? std::nullopt : std::optional(verdict.Sentence())};
    // A damaged frame has no thumbnail: its reason says more than half a picture.
    if (verdict.Unreadable()) {
        return look;
    }
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer);
    // Qt's JPEG reader decodes at an eighth straight from the compressed data.
    const QSize size = reader.size();
    if (size.isValid()) {
        reader.setScaledSize(QSize(std::max(size.width() / kThumbnailScale, 1),
                                   std::max(size.height() / kThumbnailScale, 1)));
    }
    look.thumbnail = reader.read();
    return look;
}

void FramesModel::Ask(int row) const {
    if (!m_asked.insert(row).second) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back({row, m_catalog.FrameAt(row).number, m_catalog.NumberBefore(row)});
    }
    m_wake.notify_one();
}

void FramesModel::TakeCatalog(FrameCatalog catalog) {
    beginResetModel();
    m_catalog = std::move(catalog);
    m_loaded = true;
    endResetModel();
    emit Loaded();
}

void FramesModel::Take(int row, const Look& look) {
    m_asked.erase(row);
    if (row >= m_catalog.RowCount()) {
        return;
    }
    if (look.trouble) {
        m_troubles[row] = QString::fromStdString(*look.trouble);
    }
    // Kept also when there is none, so that a damaged frame is looked at once.
    m_thumbnails.insert(row, new QImage(look.thumbnail),
                        std::max<int>(static_cast<int>(look.thumbnail.sizeInBytes() / 1024), 1));
    const QModelIndex changed = index(row, 0);
    emit dataChanged(changed, changed);
}

void FramesModel::SetRowsInSight(int first, int last) {
    const auto outOfSight = [&](int row) { return row < first || row > last; };
    std::lock_guard lock(m_mutex);
    // Scrolled away before their turn: dropped, and asked for again if they come back.
    std::erase_if(m_requests, [&](const Request& request) { return outOfSight(request.row); });
    std::erase_if(m_asked, outOfSight);
}

QString FramesModel::TroubleOf(int row) const {
    const auto found = m_troubles.find(row);
    return found == m_troubles.end() ? QString() : found->second;
}

int FramesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_catalog.RowCount();
}

Qt::ItemFlags FramesModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || m_catalog.IsDay(index.row())) {
        return Qt::ItemIsEnabled;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QVariant FramesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_catalog.RowCount()) {
        return {};
    }
    const int row = index.row();
    if (m_catalog.IsDay(row)) {
        return role == Qt::DisplayRole || role == Qt::AccessibleTextRole
                   ? QVariant(m_catalog.DayHeading(row))
                   : QVariant();
    }
    const QString trouble = TroubleOf(row);
    switch (role) {
        case Qt::DisplayRole:
            return trouble.isEmpty()
                       ? WallClockTime(m_catalog.FrameAt(row).time)
                       : WallClockTime(m_catalog.FrameAt(row).time) + QLatin1Char('\n') + trouble;
        case Qt::AccessibleTextRole:
            return m_catalog.FrameName(row);
        case Qt::AccessibleDescriptionRole:
        case Qt::ToolTipRole:
            return trouble.isEmpty() ? m_catalog.FrameName(row)
                                     : m_catalog.FrameName(row) + QStringLiteral(": ") + trouble;
        case Qt::ForegroundRole:
            return trouble.isEmpty() ? QVariant() : QVariant(QBrush(Qt::red));
        case Qt::DecorationRole:
            if (const QImage* thumbnail = m_thumbnails.object(row)) {
                return *thumbnail;
            }
            Ask(row);
            return {};
        default:
            return {};
    }
}
