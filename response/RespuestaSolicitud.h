#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace cto {

// The binding's target namespace.
inline constexpr const char* kRespuestaNamespace = "RespuestaSolicitud.xsd";
// The names its elements are registered under.
inline constexpr const char* kRespuestaTag = "RespuestaSolicitudEncuesta";
inline constexpr const char* kNumeroOrdenTag = "NumeroOrden";
inline constexpr const char* kCodigoControlTag = "CodigoControl";
inline constexpr const char* kAcuseEnvioTag = "AcuseEnvio";
inline constexpr const char* kErroresTag = "Errores";
inline constexpr const char* kErrorTag = "Error";

// Typed views over one loaded response document. Every view is a shared handle
// that keeps its document alive; texts are UTF-8.

class IXMLNode {
public:
    virtual ~IXMLNode() = default;
    // Qualified name, local name and namespace URI of the viewed element.
    virtual std::string NodeName() const = 0;
    virtual std::string LocalName() const = 0;
    virtual std::string NamespaceURI() const = 0;
};

class IXMLError : public virtual IXMLNode {
public:
    virtual std::string TipoError() = 0;
    virtual std::string LineaError() = 0;
    virtual std::string DescripcionError() = 0;
    virtual void setTipoError(const std::string& value) = 0;
    virtual void setLineaError(const std::string& value) = 0;
    virtual void setDescripcionError(const std::string& value) = 0;
};

// A live view over the Error children of one Errores element.
class IXMLErrorList {
public:
    virtual ~IXMLErrorList() = default;
    virtual int Count() = 0;
    virtual std::shared_ptr<IXMLError> Item(int index) = 0;
    virtual void Clear() = 0;
    virtual void Delete(int index) = 0;
    // Removes the given item from the document; answers its former index, or -1.
    virtual int Remove(const std::shared_ptr<IXMLError>& item) = 0;
    virtual std::shared_ptr<IXMLError> Add() = 0;
    // Places a new Error at the given position among the children of Errores.
    virtual std::shared_ptr<IXMLError> Insert(int index) = 0;
};

class IXMLErrores : public virtual IXMLNode {
public:
    virtual std::int32_t Numero() = 0;
    virtual std::shared_ptr<IXMLErrorList> Error() = 0;
    virtual void setNumero(std::int32_t value) = 0;
};

class IXMLRespuestaSolicitudEncuesta : public virtual IXMLNode {
public:
    virtual std::string NumeroOrden() = 0;
    virtual std::string CodigoControl() = 0;
    virtual std::string AcuseEnvio() = 0;
    virtual std::shared_ptr<IXMLErrores> Errores() = 0;
    virtual void setNumeroOrden(const std::string& value) = 0;
    virtual void setCodigoControl(const std::string& value) = 0;
    virtual void setAcuseEnvio(const std::string& value) = 0;
};

// Parses the response file and binds its root element. Throws EDOMParseError
// when the parser rejects the file, EIntfCastError ("Interface not supported")
// when the root is not RespuestaSolicitudEncuesta in the target namespace,
// EFOpenError when the file cannot be opened.
std::shared_ptr<IXMLRespuestaSolicitudEncuesta> cargarRespuesta(const std::string& path);

// The same over bytes already in memory.
std::shared_ptr<IXMLRespuestaSolicitudEncuesta> cargarRespuestaDeMemoria(std::string_view bytes);

} // namespace cto
