// SPDX-License-Identifier: GPL-2.0-or-later
#include <Glimra>

#include "capture/imagegrabberfactory.h"
#include "clients/clientsmanager.h"
#include "compression/imagecompressorffmpeg.h"
#include "input/mousekeyboard.h"
#include "platform/inputbackend.h"

#include <QHostAddress>

Glimra::Glimra()
{
    compressor = std::make_unique<ImageCompressorFFmpeg>();
    manager = std::make_unique<ClientsManager>();
    grabber = createSystemImageGrabber();
    injector = std::make_unique<MouseKeyboard>();
    manager->setImageCompressor(compressor.get());
    manager->setMouseKeyboard(injector.get());
    compressor->setImageGrabber(grabber.get());
    compressor->setPacketSink(manager.get());
}

Glimra::~Glimra()
{
    // Every stage is asked to stop first, then each is waited for.
    compressor->requestStop();
    manager->requestStop();
    grabber->requestStop();
    compressor->waitForStop();
    manager->waitForStop();
    grabber->waitForStop();
    compressor.reset();
    manager.reset();
    grabber.reset();
    injector.reset();
}

void Glimra::start()
{
    grabber->start(QThread::InheritPriority);
    // A manager asked to stop may still be on its way out; start waits for
    // its thread, which never waits on a connection.
    manager->start(QThread::InheritPriority);
    compressor->start();
}

void Glimra::streamTo(QString address, unsigned short port, unsigned int streamId, bool handshake)
{
    manager->addClient(QHostAddress(address), port, streamId, handshake);
}

void Glimra::pause()
{
    paused = true;
    manager->pauseClients();
}

void Glimra::restart()
{
    paused = false;
    manager->resumeClients();
}

void Glimra::stop()
{
    paused = false;
    // The receivers' connections end on their own threads; grabbing and
    // compressing end within the image under way.
    manager->requestStop();
    compressor->requestStop();
    grabber->requestStop();
    compressor->waitForStop();
    grabber->waitForStop();
}

bool Glimra::isPaused()
{
    return paused;
}

bool Glimra::isStreaming()
{
    if (grabber->isScreenCountChanged())
        stop();
    return !manager->isStopRequested() && manager->hasClients();
}

void Glimra::setStreamedScreen(int index)
{
    grabber->setScreenIndex(index);
    const QString name = grabber->getScreenName();
    manager->setStreamedScreenName(name);
    injector->setTargetScreen(name);
}

QString Glimra::getGrabbedScreenName()
{
    return grabber->getScreenName();
}

unsigned int Glimra::getStreamedScreenWidth() const
{
    return unsigned(qMax(0, grabber->getScreenWidth()));
}

unsigned int Glimra::getStreamedScreenHeight() const
{
    return unsigned(qMax(0, grabber->getScreenHeight()));
}

void Glimra::setImageQuality(int quality)
{
    // The encoder settings are fixed; the value is accepted and ignored.
    Q_UNUSED(quality)
}

void Glimra::remoteInteractionActived(bool active)
{
    manager->setRemoteInteraction(active);
    glimra::platform::setRemoteInputWanted(active);
}

float Glimra::getCurrentFPS()
{
    return 0.0f;
}
