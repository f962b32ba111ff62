#pragma once

#include <QAbstractListModel>
#include <QCache>
#include <QImage>
#include <QPointer>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "session/FrameCatalog.h"

// The frame browser's rows over a FrameCatalog: days' headings and frames, each frame with its
// thumbnail and, once its thumbnail is loaded, what makes it bad. The catalog is read and the
// thumbnails are loaded on a thread of the model's own, at an eighth of the frames' size and only
// for the rows in sight; the latest thumbnails are kept in a cache of bounded size.
class FramesModel : public QAbstractListModel {
    Q_OBJECT
public:
    // Starts reading the catalog of `frameDir` (empty or ending with '/'); Loaded follows.
    FramesModel(std::string frameDir, const DayRules& rules, QObject* parent = nullptr);
    // Stops the thread and waits for it.
    ~FramesModel() override;

    const FrameCatalog& Catalog() const { return m_catalog; }
    bool IsLoaded() const { return m_loaded; }
    // What makes the frame of `row` bad, once it was looked at; empty when it is fit or not yet
    // looked at.
    QString TroubleOf(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The rows the view shows: thumbnails asked for outside them are not loaded.
    void SetRowsInSight(int first, int last);

signals:
    void Loaded();

private:
    struct Request {
        int row;
        int number;
        std::optional<int> before;  // the frame before it, which a repeat repeats
    };
    struct Look {
        QImage thumbnail;
        std::optional<std::string> trouble;
    };

    void Work(const DayRules& rules);
    // Runs `call` on the model on the UI thread, unless the model is gone by then. Safe to call
    // from any thread.
    void PostToUiThread(std::function<void(FramesModel&)> call) const;
    void TakeCatalog(FrameCatalog catalog);
    // The newest request; false once the model stops.
    bool NextRequest(Request& request);
    void Ask(int row) const;
    void Take(int row, const Look& look);
    Look LookAt(int number, std::optional<int> before) const;

    const std::string m_frameDir;
    FrameCatalog m_catalog;
    bool m_loaded = false;
    // UI thread only: the thumbnails (cost in kilobytes), the rows asked for and not yet taken,
    // and what was found bad.
    mutable QCache<int, QImage> m_thumbnails;
    mutable std::unordered_set<int> m_asked;
    std::unordered_map<int, QString> m_troubles;

    // Shared with the thread: the requests not yet taken, asked for from data().
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_wake;
    mutable std::deque<Request> m_requests;
    bool m_stop = false;

    const QPointer<FramesModel> m_self;  // made on the UI thread, copied by the thread
    std::thread m_worker;                // last: started once everything it uses exists
};
