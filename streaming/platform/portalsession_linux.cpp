// SPDX-License-Identifier: GPL-2.0-or-later
// The portal handshake: CreateSession -> SelectDevices (remote desktop) ->
// SelectSources (one monitor, cursor as metadata or hidden) -> Start ->
// OpenPipeWireRemote. Every request answers with a Response signal on its
// request object, so the handshake runs on a thread with an event loop.
#include "platform/portalsession_linux.h"
#include "platform/platformlog_linux.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QLoggingCategory>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <QUuid>

#include <unistd.h>

namespace glimra::platform {

namespace {

const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString ScreenCastInterface = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString RemoteDesktopInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString RequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString SessionInterface = QStringLiteral("org.freedesktop.portal.Session");

constexpr uint32_t SourceMonitor = 1;
constexpr uint32_t CursorHidden = 1;
constexpr uint32_t CursorMetadata = 4;
constexpr uint32_t PersistUntilRevoked = 2;
constexpr int PropertyTimeoutMs = 2000;
constexpr int32_t PrimingKey = 42; // left Shift
constexpr size_t MaxQueuedInput = 512;
constexpr int InputTimeoutMs = 2000;

std::mutex gCurrentMutex;
std::weak_ptr<PortalSession> gCurrent;

QVariant portalProperty(const QString &pInterface, const QString &pName)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        PortalService, PortalPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message << pInterface << pName;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, PropertyTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QVariant();
    return reply.arguments().first().value<QDBusVariant>().variant();
}

uint32_t portalUInt(const QString &pInterface, const QString &pName)
{
    return portalProperty(pInterface, pName).toUInt();
}

// a(ua{sv}): the first stream, with position and size when given.
bool firstStream(const QVariant &pStreams, PortalStream &pStream)
{
    if (!pStreams.canConvert<QDBusArgument>())
        return false;
    const QDBusArgument argument = pStreams.value<QDBusArgument>();
    bool found = false;
    argument.beginArray();
    while (!argument.atEnd()) {
        uint node = 0;
        QVariantMap properties;
        argument.beginStructure();
        argument >> node >> properties;
        argument.endStructure();
        if (found)
            continue;
        found = true;
        pStream.node = node;
        auto pair = [&](const QString &pKey, int &pFirst, int &pSecond) {
            const QVariant value = properties.value(pKey);
            if (!value.canConvert<QDBusArgument>())
                return;
            const QDBusArgument inner = value.value<QDBusArgument>();
            inner.beginStructure();
            inner >> pFirst >> pSecond;
            inner.endStructure();
        };
        pair(QStringLiteral("position"), pStream.x, pStream.y);
        pair(QStringLiteral("size"), pStream.width, pStream.height);
    }
    argument.endArray();
    return found;
}

QString tokenKey(bool pInput)
{
    return pInput ? QStringLiteral("remoteDesktop/restoreToken") : QStringLiteral("screenCast/restoreToken");
}

} // namespace

QString portalTokenFile()
{
    const QString base = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation).value(0);
    return QDir::cleanPath(base + QStringLiteral("/Velmorant Client/screen-sharing.ini"));
}

// Lives on the session's own thread; talks to the portal asynchronously.
class PortalHandshake : public QObject {
    Q_OBJECT
public:
    explicit PortalHandshake(PortalSession *pSession) : mSession(pSession) {}

public slots:
    void begin()
    {
        mBus = QDBusConnection::sessionBus();
        if (!mBus.isConnected()) {
            fail(QStringLiteral("no session bus"));
            return;
        }
        mSender = mBus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
        if (mSession->mInput) {
            mRemoteDesktopVersion = portalUInt(RemoteDesktopInterface, QStringLiteral("version"));
            mDeviceTypes = portalUInt(RemoteDesktopInterface, QStringLiteral("AvailableDeviceTypes"));
        }
        const uint32_t cursorModes = portalUInt(ScreenCastInterface, QStringLiteral("AvailableCursorModes"));
        mCursorMode = (cursorModes & CursorMetadata) ? CursorMetadata : CursorHidden;
        // A remote desktop session remembers consent only from version 2 of
        // its interface on; a screen cast alone from version 4.
        const uint32_t screenCastVersion = portalUInt(ScreenCastInterface, QStringLiteral("version"));
        mPersist = mSession->mInput ? mRemoteDesktopVersion >= 2 : screenCastVersion >= 4;
        static std::atomic<bool> told{false};
        if (!mPersist && !told.exchange(true))
            qCInfo(lcPlatform) << "this desktop portal cannot remember consent for"
                               << (mSession->mInput ? "remote control" : "screen sharing") << "; it asks every time";
        mToken = mPersist
                     ? QSettings(portalTokenFile(), QSettings::IniFormat).value(tokenKey(mSession->mInput)).toString()
                     : QString();
        QVariantMap options{{QStringLiteral("session_handle_token"), newToken()}};
        request(mSession->mInput ? RemoteDesktopInterface : ScreenCastInterface, QStringLiteral("CreateSession"), {},
                options, &PortalHandshake::onSessionCreated);
    }

    void close()
    {
        if (!mRequestPath.isEmpty())
            mBus.send(
                QDBusMessage::createMethodCall(PortalService, mRequestPath, RequestInterface, QStringLiteral("Close")));
        if (!mSessionHandle.isEmpty())
            mBus.send(QDBusMessage::createMethodCall(PortalService, mSessionHandle, SessionInterface,
                                                     QStringLiteral("Close")));
        mRequestPath.clear();
        mSessionHandle.clear();
        mNext = nullptr;
    }

    // Sends the queued input calls one after the other, each once the
    // previous one was answered.
    void pumpInput()
    {
        QDBusMessage message;
        if (!mSession->nextInput(message))
            return;
        auto *watcher = new QDBusPendingCallWatcher(mBus.asyncCall(message, InputTimeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *pCall) {
            pCall->deleteLater();
            if (pCall->isError() && !mInputErrorLogged) {
                mInputErrorLogged = true;
                qCWarning(lcPlatform) << "the desktop portal refused remote input:" << pCall->error().message();
            }
            pumpInput();
        });
    }

private slots:
    void onResponse(uint pCode, const QVariantMap &pResults)
    {
        mBus.disconnect(PortalService, mRequestPath, RequestInterface, QStringLiteral("Response"), this,
                        SLOT(onResponse(uint, QVariantMap)));
        mRequestPath.clear();
        auto next = mNext;
        mNext = nullptr;
        if (pCode == 1) {
            fail(QStringLiteral("the user refused screen sharing"));
            return;
        }
        if (pCode != 0) {
            fail(QStringLiteral("the portal ended the request (code %1)").arg(pCode));
            return;
        }
        if (next)
            (this->*next)(pResults);
    }

    void onSessionClosed()
    {
        if (mFailed)
            return; // the failure was told already
        qCInfo(lcPlatform) << "the portal closed the screen-sharing session";
        mSessionHandle.clear();
        mSession->settle(PortalSession::State::Closed, {}, 0, -1, QString());
    }

private:
    using Step = void (PortalHandshake::*)(const QVariantMap &);

    // Unique in the process: request and session paths are per connection.
    static QString newToken()
    {
        static std::atomic<unsigned> counter{0};
        return QStringLiteral("glimra%1").arg(++counter);
    }

    void request(const QString &pInterface, const QString &pMethod, const QList<QVariant> &pArguments,
                 QVariantMap pOptions, Step pNext)
    {
        const QString token = newToken();
        pOptions.insert(QStringLiteral("handle_token"), token);
        // Subscribed before the call: the answer can come before the reply.
        mRequestPath = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(mSender, token);
        mBus.connect(PortalService, mRequestPath, RequestInterface, QStringLiteral("Response"), this,
                     SLOT(onResponse(uint, QVariantMap)));
        mNext = pNext;
        QDBusMessage message = QDBusMessage::createMethodCall(PortalService, PortalPath, pInterface, pMethod);
        QList<QVariant> arguments = pArguments;
        arguments << pOptions;
        message.setArguments(arguments);
        auto *watcher = new QDBusPendingCallWatcher(mBus.asyncCall(message, -1), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, pMethod](QDBusPendingCallWatcher *pCall) {
            pCall->deleteLater();
            if (pCall->isError())
                fail(QStringLiteral("%1: %2").arg(pMethod, pCall->error().message()));
        });
    }

    void onSessionCreated(const QVariantMap &pResults)
    {
        mSessionHandle = pResults.value(QStringLiteral("session_handle")).toString();
        if (mSessionHandle.isEmpty()) {
            fail(QStringLiteral("no session handle"));
            return;
        }
        mBus.connect(PortalService, mSessionHandle, SessionInterface, QStringLiteral("Closed"), this,
                     SLOT(onSessionClosed()));
        if (!mSession->mInput) {
            selectSources();
            return;
        }
        QVariantMap options{
            {QStringLiteral("types"), mDeviceTypes & (PortalKeyboard | PortalPointer | PortalTouchscreen)}};
        addPersistence(options);
        request(RemoteDesktopInterface, QStringLiteral("SelectDevices"),
                {QVariant::fromValue(QDBusObjectPath(mSessionHandle))}, options, &PortalHandshake::onDevicesSelected);
    }

    void onDevicesSelected(const QVariantMap &) { selectSources(); }

    void selectSources()
    {
        QVariantMap options{{QStringLiteral("types"), SourceMonitor},
                            {QStringLiteral("multiple"), false},
                            {QStringLiteral("cursor_mode"), mCursorMode}};
        if (!mSession->mInput)
            addPersistence(options);
        request(ScreenCastInterface, QStringLiteral("SelectSources"),
                {QVariant::fromValue(QDBusObjectPath(mSessionHandle))}, options, &PortalHandshake::onSourcesSelected);
    }

    void addPersistence(QVariantMap &pOptions)
    {
        if (!mPersist)
            return;
        pOptions.insert(QStringLiteral("persist_mode"), PersistUntilRevoked);
        if (!mToken.isEmpty())
            pOptions.insert(QStringLiteral("restore_token"), mToken);
    }

    void onSourcesSelected(const QVariantMap &)
    {
        request(mSession->mInput ? RemoteDesktopInterface : ScreenCastInterface, QStringLiteral("Start"),
                {QVariant::fromValue(QDBusObjectPath(mSessionHandle)), QString()}, {}, &PortalHandshake::onStarted);
    }

    void onStarted(const QVariantMap &pResults)
    {
        if (!firstStream(pResults.value(QStringLiteral("streams")), mStream)) {
            fail(QStringLiteral("the portal started no stream"));
            return;
        }
        mDevices = pResults.value(QStringLiteral("devices")).toUInt();
        const QString token = pResults.value(QStringLiteral("restore_token")).toString();
        if (mPersist && !token.isEmpty() && token != mToken) {
            // A token is good for one restore: the next start needs this one.
            QSettings settings(portalTokenFile(), QSettings::IniFormat);
            settings.setValue(tokenKey(mSession->mInput), token);
            settings.sync();
            if (settings.status() != QSettings::NoError)
                qCWarning(lcPlatform) << "cannot keep the screen-sharing consent in" << portalTokenFile();
        }
        QDBusMessage message = QDBusMessage::createMethodCall(PortalService, PortalPath, ScreenCastInterface,
                                                              QStringLiteral("OpenPipeWireRemote"));
        message << QVariant::fromValue(QDBusObjectPath(mSessionHandle)) << QVariantMap();
        auto *watcher = new QDBusPendingCallWatcher(mBus.asyncCall(message), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *pCall) {
            pCall->deleteLater();
            QDBusPendingReply<QDBusUnixFileDescriptor> reply = *pCall;
            if (reply.isError() || !reply.value().isValid()) {
                fail(QStringLiteral("OpenPipeWireRemote: %1").arg(reply.error().message()));
                return;
            }
            // The descriptor object closes its copy; the session keeps its own.
            const int fd = ::dup(reply.value().fileDescriptor());
            if (fd < 0) {
                fail(QStringLiteral("cannot keep the PipeWire descriptor"));
                return;
            }
            mSession->settle(PortalSession::State::Started, mStream, mDevices, fd, mSessionHandle);
            // One compositor creates its virtual keyboard on the first key
            // and loses that key: a harmless release makes the device now,
            // so the first key the room sends arrives.
            if (mDevices & PortalKeyboard)
                mSession->keyboardKeycode(PrimingKey, false);
        });
    }

    void fail(const QString &pWhy)
    {
        if (mFailed)
            return;
        mFailed = true;
        qCWarning(lcPlatform).noquote() << "screen sharing through the desktop portal failed:" << pWhy;
        close();
        mSession->settle(PortalSession::State::Failed, {}, 0, -1, QString());
    }

    PortalSession *mSession;
    QDBusConnection mBus{QString()};
    QString mSender;
    QString mRequestPath;
    QString mSessionHandle;
    QString mToken;
    Step mNext = nullptr;
    uint32_t mRemoteDesktopVersion = 0;
    uint32_t mDeviceTypes = 0;
    uint32_t mCursorMode = CursorHidden;
    bool mPersist = false;
    bool mFailed = false;
    bool mInputErrorLogged = false;
    PortalStream mStream;
    uint32_t mDevices = 0;
};

std::shared_ptr<PortalSession> PortalSession::open(bool pInput)
{
    std::shared_ptr<PortalSession> session(new PortalSession(pInput));
    {
        std::lock_guard<std::mutex> lock(gCurrentMutex);
        gCurrent = session;
    }
    session->mThread = std::make_unique<QThread>();
    session->mThread->setObjectName(QStringLiteral("glimra-portal"));
    session->mHandshake = new PortalHandshake(session.get());
    session->mHandshake->moveToThread(session->mThread.get());
    // The thread's last act, under the mutex the destructor takes after
    // waiting: all the handshake did is then ordered before its deletion.
    PortalSession *raw = session.get();
    QObject::connect(
        session->mThread.get(), &QThread::finished, session->mHandshake,
        [raw] { std::lock_guard<std::mutex> lock(raw->mMutex); }, Qt::DirectConnection);
    session->mThread->start();
    QMetaObject::invokeMethod(session->mHandshake, "begin", Qt::QueuedConnection);
    return session;
}

std::shared_ptr<PortalSession> PortalSession::current()
{
    std::lock_guard<std::mutex> lock(gCurrentMutex);
    return gCurrent.lock();
}

bool PortalSession::portalAvailable()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(PortalService).value();
}

uint32_t PortalSession::availableDeviceTypes()
{
    return portalUInt(RemoteDesktopInterface, QStringLiteral("AvailableDeviceTypes"));
}

PortalSession::PortalSession(bool pInput) : mInput(pInput) {}

PortalSession::~PortalSession()
{
    if (mHandshake) {
        QMetaObject::invokeMethod(mHandshake, "close", Qt::BlockingQueuedConnection);
        mThread->quit();
        mThread->wait();
        {
            std::lock_guard<std::mutex> lock(mMutex);
        }
        delete mHandshake;
    }
    if (mFd >= 0)
        ::close(mFd);
}

void PortalSession::settle(State pState, const PortalStream &pStream, uint32_t pDevices, int pFd,
                           const QString &pHandle)
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (pState == State::Started && mState != State::Starting) {
            if (pFd >= 0)
                ::close(pFd);
            return;
        }
        mState = pState;
        if (pState == State::Started) {
            mStream = pStream;
            mDevices = pDevices;
            mFd = pFd;
            mSessionHandle = pHandle;
        } else {
            mSessionHandle.clear();
            mDevices = 0;
        }
    }
    mSettled.notify_all();
}

void PortalSession::markFailed()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (mState != State::Started)
            return;
        mState = State::Failed;
        mDevices = 0;
    }
    mSettled.notify_all();
}

PortalSession::State PortalSession::state() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mState;
}

bool PortalSession::waitForStart(int pMs)
{
    std::unique_lock<std::mutex> lock(mMutex);
    mSettled.wait_for(lock, std::chrono::milliseconds(pMs), [this] { return mState != State::Starting; });
    return mState == State::Started;
}

PortalStream PortalSession::stream() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mStream;
}

uint32_t PortalSession::devices() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mDevices;
}

int PortalSession::takePipeWireFd()
{
    std::lock_guard<std::mutex> lock(mMutex);
    const int fd = mFd;
    mFd = -1;
    return fd;
}

bool PortalSession::sendInput(uint32_t pDevice, const char *pMethod, const QList<QVariant> &pArguments)
{
    QString handle;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (mState != State::Started || !mInput || !(mDevices & pDevice)) {
            if (!mDeniedLogged.exchange(true))
                qCInfo(lcPlatform) << "remote input dropped: the screen-sharing session has no such device";
            return false;
        }
        handle = mSessionHandle;
    }
    QDBusMessage message =
        QDBusMessage::createMethodCall(PortalService, PortalPath, RemoteDesktopInterface, QString::fromLatin1(pMethod));
    QList<QVariant> arguments{QVariant::fromValue(QDBusObjectPath(handle)), QVariantMap()};
    arguments += pArguments;
    message.setArguments(arguments);
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (mInputQueue.size() >= MaxQueuedInput) {
            if (!mOverflowLogged)
                qCWarning(lcPlatform) << "the desktop portal does not keep up with remote input; events dropped";
            mOverflowLogged = true;
            return false;
        }
        mInputQueue.push_back(message);
        if (mInputInFlight)
            return true;
        mInputInFlight = true;
    }
    QMetaObject::invokeMethod(mHandshake, "pumpInput", Qt::QueuedConnection);
    return true;
}

bool PortalSession::nextInput(QDBusMessage &pMessage)
{
    std::lock_guard<std::mutex> lock(mMutex);
    if (mInputQueue.empty()) {
        mInputInFlight = false;
        return false;
    }
    pMessage = mInputQueue.front();
    mInputQueue.pop_front();
    return true;
}

void PortalSession::pointerMotionAbsolute(double pX, double pY)
{
    const uint node = stream().node;
    sendInput(PortalPointer, "NotifyPointerMotionAbsolute", {node, pX, pY});
}

void PortalSession::pointerMotion(double pDx, double pDy)
{
    sendInput(PortalPointer, "NotifyPointerMotion", {pDx, pDy});
}

void PortalSession::pointerButton(int32_t pEvdevButton, bool pPressed)
{
    sendInput(PortalPointer, "NotifyPointerButton", {pEvdevButton, uint(pPressed ? 1 : 0)});
}

void PortalSession::pointerAxisDiscrete(uint32_t pAxis, int32_t pSteps)
{
    sendInput(PortalPointer, "NotifyPointerAxisDiscrete", {uint(pAxis), pSteps});
}

void PortalSession::keyboardKeycode(int32_t pEvdevKey, bool pPressed)
{
    sendInput(PortalKeyboard, "NotifyKeyboardKeycode", {pEvdevKey, uint(pPressed ? 1 : 0)});
}

void PortalSession::keyboardKeysym(int32_t pKeysym, bool pPressed)
{
    sendInput(PortalKeyboard, "NotifyKeyboardKeysym", {pKeysym, uint(pPressed ? 1 : 0)});
}

void PortalSession::touchDown(uint32_t pSlot, double pX, double pY)
{
    const uint node = stream().node;
    sendInput(PortalTouchscreen, "NotifyTouchDown", {node, uint(pSlot), pX, pY});
}

void PortalSession::touchMotion(uint32_t pSlot, double pX, double pY)
{
    const uint node = stream().node;
    sendInput(PortalTouchscreen, "NotifyTouchMotion", {node, uint(pSlot), pX, pY});
}

void PortalSession::touchUp(uint32_t pSlot)
{
    sendInput(PortalTouchscreen, "NotifyTouchUp", {uint(pSlot)});
}

} // namespace glimra::platform

#include "portalsession_linux.moc"
