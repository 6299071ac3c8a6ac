#include "response/RespuestaSolicitud.h"

#include "common/FailureKinds.h"
#include "common/FileStream.h"
#include "common/Trim.h"
#include "response/RespuestaSolicitudBinding.h"
#include "response/XmlNode.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace cto {

namespace {

std::string conversionFailure(const char* from) {
    return std::string("Could not convert variant of type (") + from + ") into type (Integer)";
}

std::shared_ptr<IXMLRespuestaSolicitudEncuesta> bindRoot(XmlDocument parsed) {
    auto document = std::make_shared<XmlDocument>(std::move(parsed));
    xmlNodePtr root = document->documentElement();
    if (!matchesRegistration(root, kRespuestaTag, kRespuestaNamespace))
        throw EIntfCastError("Interface not supported");
    return std::make_shared<TXMLRespuestaSolicitudEncuesta>(std::move(document), root);
}

} // namespace

std::int32_t numeroFromText(std::string_view text) {
    if (text.empty())
        throw EVariantTypeCastError(conversionFailure("Null"));
    const std::string_view number = trimmed(text);
    const bool negative = !number.empty() && number.front() == '-';
    const std::string_view digits =
        !number.empty() && (number.front() == '+' || negative) ? number.substr(1) : number;
    if (digits.empty())
        throw EVariantTypeCastError(conversionFailure("OleStr"));
    for (const char c : digits)
        if (c < '0' || c > '9')
            throw EVariantTypeCastError(conversionFailure("OleStr"));

    // Accumulate towards the sign so that the most negative value fits.
    std::int64_t value = 0;
    for (const char c : digits) {
        value = value * 10 + (c - '0');
        if (value > std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1)
            break;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<std::int32_t>::max() || value < std::numeric_limits<std::int32_t>::min())
        throw EVariantOverflowError("Overflow while converting variant of type (OleStr) into type (Integer)");
    return static_cast<std::int32_t>(value);
}

TXMLErrorList::TXMLErrorList(std::shared_ptr<XmlDocument> document, xmlNodePtr errores)
    : TXMLNodeCollection(std::move(document), errores, kErrorTag, std::string(xml::namespaceUri(errores)),
                         [ns = std::string(xml::namespaceUri(errores))](xmlNodePtr child) {
                             return matchesRegistration(child, kErrorTag, ns);
                         }) {}

bool isErrorItem(const ElementNames& child, std::string_view erroresNamespace) {
    return matchesRegistration(child, kErrorTag, erroresNamespace) &&
           isCollectionItem(child, kErrorTag, erroresNamespace);
}

std::shared_ptr<IXMLError> TXMLErrorList::view(xmlNodePtr node) const {
    return std::make_shared<TXMLError>(document(), node);
}

int TXMLErrorList::Remove(const std::shared_ptr<IXMLError>& item) {
    const auto* error = dynamic_cast<const TXMLError*>(item.get());
    if (error == nullptr || error->document() != document())
        return -1;
    return removeItem(error->element());
}

TXMLErrores::TXMLErrores(const std::shared_ptr<XmlDocument>& document, xmlNodePtr element)
    : TXMLNode(document, element), errorList_(std::make_shared<TXMLErrorList>(document, element)) {}

std::int32_t TXMLErrores::Numero() {
    return numeroFromText(childText("Numero"));
}

std::shared_ptr<IXMLErrores> TXMLRespuestaSolicitudEncuesta::Errores() {
    return std::make_shared<TXMLErrores>(document(), childNode(kErroresTag));
}

std::shared_ptr<IXMLRespuestaSolicitudEncuesta> cargarRespuesta(const std::string& path) {
    FileStream file = FileStream::openForReading(path);
    return bindRoot(XmlDocument::parse(file));
}

std::shared_ptr<IXMLRespuestaSolicitudEncuesta> cargarRespuestaDeMemoria(std::string_view bytes) {
    MemoryStream memory{std::string(bytes)};
    return bindRoot(XmlDocument::parse(memory));
}

} // namespace cto
