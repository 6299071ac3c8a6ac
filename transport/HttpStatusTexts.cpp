#include "transport/LibraryTexts.h"

#include "common/CodeTexts.h"

namespace cto::http {

namespace {

// The statuses an answer that fails can carry (a status of 500 is the
// office's fault answer, read as any other answer, and has no need of one).
constexpr CodeText<int> kStatusTexts[] = {
    {300, "el recurso tiene varias representaciones"},
    {301, "el recurso se trasladó de forma permanente"},
    {302, "el recurso está en otra dirección"},
    {303, "la respuesta está en otra dirección"},
    {304, "el recurso no ha cambiado"},
    {305, "hay que usar un proxy"},
    {307, "el recurso está de forma temporal en otra dirección"},
    {308, "el recurso se trasladó de forma permanente"},
    {400, "el servidor no entiende la petición"},
    {401, "el servidor exige autenticación"},
    {402, "el servidor exige un pago"},
    {403, "el servidor deniega el acceso"},
    {404, "el servidor no encuentra el recurso solicitado"},
    {405, "el servidor no admite ese método para el recurso"},
    {406, "el servidor no tiene una respuesta aceptable"},
    {407, "el servidor proxy exige autenticación"},
    {408, "el servidor se cansó de esperar la petición"},
    {409, "la petición choca con el estado del recurso"},
    {410, "el recurso ya no existe"},
    {411, "el servidor exige la longitud de la petición"},
    {412, "no se cumple una condición de la petición"},
    {413, "la petición es demasiado grande para el servidor"},
    {414, "la dirección es demasiado larga para el servidor"},
    {415, "el servidor no admite el tipo de contenido enviado"},
    {416, "la parte pedida está fuera del recurso"},
    {417, "el servidor no puede cumplir lo que se esperaba"},
    {421, "la petición llegó a un servidor que no puede responderla"},
    {422, "el servidor no puede procesar el contenido"},
    {423, "el recurso está bloqueado"},
    {424, "falló una petición de la que esta depende"},
    {425, "el servidor no quiere arriesgarse a procesar una petición repetible"},
    {426, "el servidor exige otro protocolo"},
    {428, "el servidor exige una petición condicional"},
    {429, "demasiadas peticiones en poco tiempo"},
    {431, "los encabezados de la petición son demasiado grandes"},
    {451, "el recurso no está disponible por motivos legales"},
    {501, "el servidor no admite esa función"},
    {502, "un servidor intermedio recibió una respuesta no válida"},
    {503, "el servicio no está disponible en este momento"},
    {504, "un servidor intermedio se cansó de esperar la respuesta"},
    {505, "el servidor no admite la versión de HTTP"},
    {506, "el servidor tiene un error de configuración"},
    {507, "el servidor no tiene espacio suficiente"},
    {508, "el servidor encontró un bucle"},
    {510, "el servidor exige extensiones de la petición"},
    {511, "la red exige autenticación"},
};

} // namespace

std::string httpStatusText(int status) {
    if (const char* text = textOf(kStatusTexts, status))
        return text;
    if (status >= 500)
        return "el servidor falló";
    if (status >= 400)
        return "el servidor rechazó la petición";
    return "el servidor remite a otro lugar";
}

} // namespace cto::http
