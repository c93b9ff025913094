// A TCP link between the window and a test server that the test can cut, as when the network between them
// fails: while cut, the link's connections are closed and new ones refused, and the server keeps its
// sessions. It runs on the test's event loop, which the test's waits turn.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>

namespace korvel::test
{

class CuttableLink : public QObject
{
public:
    explicit CuttableLink(quint16 serverPort) : serverPort_(serverPort)
    {
        connect(&listener_, &QTcpServer::newConnection, this, &CuttableLink::Accept);
        listener_.listen(QHostAddress::LocalHost, 0); // the system picks the port
        port_ = listener_.serverPort();
    }

    quint16 Port() const { return port_; }

    void Cut()
    {
        listener_.close();
        for (QTcpSocket* client : listener_.findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly))
            client->abort();
    }
    // Listens again on the same port.
    bool Mend() { return listener_.listen(QHostAddress::LocalHost, port_); }

private:
    void Accept()
    {
        while (QTcpSocket* client = listener_.nextPendingConnection())
        {
            auto* server = new QTcpSocket(client);
            auto pass = [](QTcpSocket* from, QTcpSocket* to)
            {
                if (to->state() == QAbstractSocket::ConnectedState)
                    to->write(from->readAll());
            };
            connect(client, &QTcpSocket::readyRead, server, [=] { pass(client, server); });
            connect(server, &QTcpSocket::connected, client, [=] { pass(client, server); });
            connect(server, &QTcpSocket::readyRead, client, [=] { pass(server, client); });
            connect(server, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
            connect(client, &QTcpSocket::disconnected, server, &QTcpSocket::disconnectFromHost);
            connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            server->connectToHost(QHostAddress::LocalHost, serverPort_);
        }
    }

    quint16 serverPort_;
    quint16 port_ = 0;
    QTcpServer listener_;
};

} // namespace korvel::test
