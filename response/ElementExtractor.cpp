#include "response/ElementExtractor.h"

#include "common/FailureKinds.h"
#include "response/RespuestaSolicitudBinding.h"
#include "response/XmlNode.h"

namespace cto {

namespace {

constexpr std::string_view kSchemaInstance = "http://www.w3.org/2001/XMLSchema-instance";

bool isTargetNamed(xmlNodePtr node) {
    // Only the whole node name counts, whatever the node's type.
    return xml::nodeName(node) == kRespuestaTag;
}

bool isWhiteSpace(std::string_view text) noexcept {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

std::string qualifiedName(const StartTag& tag) {
    std::string name;
    if (tag.prefix != nullptr) {
        name = xml::text(tag.prefix);
        name += ':';
    }
    name += xml::text(tag.localName);
    return name;
}

constexpr std::array<const char*, 4> kRoleTags = {kNumeroOrdenTag, kCodigoControlTag, kAcuseEnvioTag,
                                                  kErroresTag};

} // namespace

ElementExtractor::ElementExtractor(ByteStream& spool) : writer_(spool) {}

void ElementExtractor::prologRead(xmlDocPtr document, bool encodingNamed) {
    writer_.setEncodingNamed(encodingNamed);
    // The document type and its declarations come before the document element.
    if (document != nullptr)
        for (xmlNodePtr child = document->children; child != nullptr; child = child->next)
            if (xml::findInSubtree(child, isTargetNamed) != nullptr) {
                phase_ = Phase::NotElement;
                return;
            }
}

void ElementExtractor::elementStarted(const StartTag& tag) {
    endText();
    ++depth_;
    fault_.elementStarted(tag, depth_);
    bindingMarks_.push_back(bindings_.size());
    for (int i = 0; i < tag.namespaceCount; ++i)
        bindings_.push_back({std::string(xml::text(tag.namespaces[2 * i])),
                             std::string(xml::text(tag.namespaces[2 * i + 1])), depth_});
    if (phase_ == Phase::Inside)
        enterInside(tag);
    else if (phase_ == Phase::Searching && tag.prefix == nullptr && xml::text(tag.localName) == kRespuestaTag)
        enterTarget(tag);
}

void ElementExtractor::elementEnded() {
    endText();
    fault_.elementEnded(depth_);
    if (phase_ == Phase::Inside)
        leaveInside();
    bindings_.resize(bindingMarks_.back());
    bindingMarks_.pop_back();
    --depth_;
}

void ElementExtractor::text(std::string_view piece) {
    if (phase_ == Phase::Inside || fault_.collecting())
        text_ += piece;
}

void ElementExtractor::cdata(std::string_view content) {
    endText();
    if (fault_.collecting())
        fault_.text(content);
    if (phase_ != Phase::Inside)
        return;
    addChild(true, content);
    writer_.writeCdata(content);
}

void ElementExtractor::comment(std::string_view content) {
    endText();
    if (phase_ != Phase::Inside)
        return;
    addChild(false, {});
    writer_.writeComment(content);
}

void ElementExtractor::instruction(std::string_view target, const xmlChar* data) {
    endText();
    if (phase_ == Phase::Searching && target == kRespuestaTag)
        phase_ = Phase::NotElement;
    if (phase_ != Phase::Inside)
        return;
    addChild(false, {});
    writer_.writeInstruction(target, data);
}

// A text is whole when anything but text follows it. One made of white space
// alone is no node of the answer's tree.
void ElementExtractor::endText() {
    if (text_.empty())
        return;
    if (!isWhiteSpace(text_)) {
        if (fault_.collecting())
            fault_.text(text_);
        if (phase_ == Phase::Inside) {
            addChild(true, text_);
            writer_.writeText(text_);
        }
    }
    text_.clear();
}

const ElementExtractor::Binding* ElementExtractor::binding(std::string_view prefix) const {
    for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it)
        if (it->prefix == prefix)
            return &*it;
    return nullptr;
}

// A prefix declared above the element sought and used inside it is declared
// again on the element, once, so that its markup stands on its own.
void ElementExtractor::redeclareIfOutside(std::string_view prefix) {
    if (prefix.empty())
        return;
    const Binding* declared = binding(prefix);
    if (declared == nullptr || declared->depth >= targetDepth_)
        return;
    for (const Binding& redeclared : rootDeclarations_)
        if (redeclared.prefix == prefix)
            return;
    rootDeclarations_.push_back({declared->prefix, declared->uri, targetDepth_});
}

void ElementExtractor::enterTarget(const StartTag& tag) {
    phase_ = Phase::Inside;
    targetDepth_ = depth_;
    // Its own declarations, the target namespace as its default one, replacing
    // any it had; the prefixes it uses from outside are added as they are met.
    bool hasDefault = false;
    for (int i = 0; i < tag.namespaceCount; ++i) {
        const bool isDefault = tag.namespaces[2 * i] == nullptr;
        hasDefault = hasDefault || isDefault;
        rootDeclarations_.push_back(
            {std::string(xml::text(tag.namespaces[2 * i])),
             isDefault ? kRespuestaNamespace : std::string(xml::text(tag.namespaces[2 * i + 1])), depth_});
    }
    if (!hasDefault)
        rootDeclarations_.push_back({"", kRespuestaNamespace, depth_});
    Open record;
    record.role = Role::Root;
    record.qualifiedName = kRespuestaTag;
    record.defaultNs = kRespuestaNamespace;
    open_.push_back(std::move(record));
    rootAttributes_ = writer_.attributes(tag);
    redeclareOutsidePrefixes(tag);
}

// In document order: the element's prefix, then each attribute's, with the
// prefix of an xsi:type value after its attribute's.
void ElementExtractor::redeclareOutsidePrefixes(const StartTag& tag) {
    redeclareIfOutside(xml::text(tag.prefix));
    for (int i = 0; i < tag.attributeCount; ++i) {
        const xmlChar** attribute = tag.attributes + static_cast<std::ptrdiff_t>(i) * 5;
        redeclareIfOutside(xml::text(attribute[1]));
        // SOAP-encoded answers name types as qualified names in xsi:type values
        // ("xsd:string"); their prefixes must stay declared too.
        if (xml::text(attribute[2]) == kSchemaInstance && xml::text(attribute[0]) == "type") {
            const std::string_view value(reinterpret_cast<const char*>(attribute[3]),
                                         static_cast<std::size_t>(attribute[4] - attribute[3]));
            if (const std::size_t colon = value.find(':'); colon != std::string_view::npos)
                redeclareIfOutside(value.substr(0, colon));
        }
    }
}

void ElementExtractor::enterInside(const StartTag& tag) {
    addChild(false, {});

    Open record;
    record.qualifiedName = qualifiedName(tag);
    record.defaultNs = open_.back().defaultNs;
    std::string declarations;
    for (int i = 0; i < tag.namespaceCount; ++i) {
        const std::string_view prefix = xml::text(tag.namespaces[2 * i]);
        const std::string_view uri = xml::text(tag.namespaces[2 * i + 1]);
        // Undeclarations go: an unprefixed element in no namespace takes the
        // nearest default declared above it when the markup is read again.
        if (prefix.empty() && uri.empty())
            continue;
        if (prefix.empty())
            record.defaultNs = uri;
        declarations += writer_.declaration(prefix, uri);
    }
    record.startTag = "<" + record.qualifiedName + declarations + writer_.attributes(tag);
    redeclareOutsidePrefixes(tag);

    // As the markup reads back: a prefixed element keeps its namespace, an
    // unprefixed one takes the default namespace its markup gives it.
    const std::string ns = tag.prefix != nullptr ? std::string(xml::text(tag.uri)) : record.defaultNs;
    const ElementNames names{record.qualifiedName, xml::text(tag.localName), ns};
    const Role parentRole = open_.back().role;
    if (parentRole == Role::Root) {
        for (std::size_t i = 0; i < kRoleTags.size(); ++i)
            if (!roleTaken_[i] && matchesRegistration(names, kRoleTags[i], kRespuestaNamespace)) {
                roleTaken_[i] = true;
                record.role = static_cast<Role>(static_cast<int>(Role::NumeroOrden) + static_cast<int>(i));
                break;
            }
        if (record.role == Role::Errores)
            erroresNamespace_ = ns;
    } else if (parentRole == Role::Errores && isErrorItem(names, erroresNamespace_)) {
        ++summary_.errorCount;
    }
    open_.push_back(std::move(record));
}

// One more child of the innermost open element: the element's start tag goes
// out before its first child.
void ElementExtractor::addChild(bool isText, std::string_view text) {
    Open& parent = open_.back();
    if (!parent.wroteChild) {
        parent.wroteChild = true;
        // The sought element's own tag is written last, before its content.
        if (parent.role != Role::Root) {
            writer_.write(parent.startTag);
            writer_.write(">");
        }
    }
    if (++parent.children != 1)
        return;
    parent.firstIsText = isText;
    const bool field = parent.role == Role::NumeroOrden || parent.role == Role::CodigoControl ||
                       parent.role == Role::AcuseEnvio;
    if (isText && field)
        parent.firstText = text;
}

void ElementExtractor::leaveInside() {
    Open record = std::move(open_.back());
    open_.pop_back();
    if (record.role == Role::Root) {
        rootStartTag_ = "<" + record.qualifiedName;
        for (const Binding& declared : rootDeclarations_)
            rootStartTag_ += writer_.declaration(declared.prefix, declared.uri);
        rootStartTag_ += rootAttributes_;
        rootHasContent_ = record.wroteChild;
        phase_ = Phase::Found;
        return;
    }
    if (record.wroteChild) {
        writer_.write("</" + record.qualifiedName + ">");
    } else {
        writer_.write(record.startTag);
        writer_.write("/>");
    }

    SummaryField* field = nullptr;
    switch (record.role) {
    case Role::NumeroOrden:
        field = &summary_.numeroOrden;
        break;
    case Role::CodigoControl:
        field = &summary_.codigoControl;
        break;
    case Role::AcuseEnvio:
        field = &summary_.acuseEnvio;
        break;
    default:
        return;
    }
    if (record.children == 0)
        *field = SummaryField::text("");
    else if (record.children == 1 && record.firstIsText)
        *field = SummaryField::text(std::move(record.firstText));
    else
        *field = SummaryField::failure(notSingleTextMessage(record.qualifiedName));
}

void ElementExtractor::finish() {
    switch (phase_) {
    case Phase::NotElement:
        throw EXMLDocError("Attributes are not supported on this node type");
    case Phase::Searching:
    case Phase::Inside: {
        std::string message = "La respuesta del servicio no contiene el elemento RespuestaSolicitudEncuesta";
        if (const auto& fault = fault_.faultString())
            message += ". El servicio ha devuelto un fallo SOAP: \"" + *fault + "\"";
        throw EXMLDocError(message);
    }
    case Phase::Found:
        writer_.flush();
        return;
    }
}

} // namespace cto
