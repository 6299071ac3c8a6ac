#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QWidget;
class TFConexionTulvaOskel;
class TSaveDialog;

namespace cto {

class HttpRequest;
class MemoryStream;
class THTTPRIO;

// The SOAP client of one main window, with the transport's hooks pointing back
// at that window.
class SendClient {
public:
    virtual ~SendClient() = default;
    virtual THTTPRIO& soapClient() = 0;
    // Description location, service, port, URL.
    virtual void configureEndpoint() = 0;
    // Posts the request and answers the response body.
    virtual std::string execute(MemoryStream& request) = 0;
};

// Everything of the send workflow that needs the TLS, certificate-store and
// XML libraries. The windows reach it only through here, so that those
// libraries are loaded when the workflow first needs them, not before the
// window shows.
class SendEngine {
public:
    virtual ~SendEngine() = default;
    virtual std::unique_ptr<SendClient> createClient(TFConexionTulvaOskel& window) = 0;
    // Opens the personal store, calls opened, then row for each of its
    // certificates in the store's order, certificate authorities left out.
    // A failure while listing leaves the rows given so far.
    virtual void
    listCertificates(const std::function<void()>& opened,
                     const std::function<void(const QString& name, const QDateTime& validTo)>& row) = 0;
    // Finds the certificate by the name the dialog handed over and attaches
    // it. False when one was found but it could not go with the request.
    virtual bool attachCertificate(const QString& name, HttpRequest& request) = 0;
    // Stores the response at responsePath, normalised, and reports the verdict.
    virtual void storeAndReport(QWidget* parent, TSaveDialog& saveDialog, const std::string& responsePath,
                                std::string response) = 0;
};

// The process's engine, made on first use. Failures (an engine that cannot be
// loaded) are EFOpenError.
SendEngine& sendEngine();

// The engine compiled into this binary (the module's, or a test's).
SendEngine& linkedSendEngine();

} // namespace cto

// The engine module's one entry point (see SendEngineLoader.cpp).
extern "C" cto::SendEngine* ctoSendEngine();
