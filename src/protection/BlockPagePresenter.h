#pragma once

#include <QObject>
#include <QPointer>

class BlockPageRequest;
class QDialog;
struct BlockOutcome;

// Shows what the blocker did: the block page, full screen and in front, naming the
// application just blocked every time, and the block-page request the FAQ window reads.
class BlockPagePresenter : public QObject
{
    Q_OBJECT
public:
    // request: what the FAQ window reads when it is made.
    explicit BlockPagePresenter(BlockPageRequest &request, QObject *parent = nullptr);
    ~BlockPagePresenter() override;

    void present(const BlockOutcome &outcome);
    // The window showing the block page: the FAQ window's page where there is one, else ours.
    QDialog *page() const { return m_page; }

private:
    BlockPageRequest &m_request;
    QPointer<QDialog> m_page;
};
