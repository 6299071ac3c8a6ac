#include "common/SystemErrorText.h"

#include "common/CodeTexts.h"

#include <csignal>
#include <cstring>

namespace cto {

namespace {

// Linux's signals; a child of this program (a card module's probe) dies by
// one of the first group when its driver crashes, by SIGKILL when its time
// bound ends it.
constexpr CodeText<int> kSignalNames[] = {
    {SIGSEGV, "violación de segmento"},
    {SIGABRT, "abortado"},
    {SIGBUS, "error de bus"},
    {SIGILL, "instrucción ilegal"},
    {SIGFPE, "excepción aritmética"},
    {SIGSYS, "llamada al sistema no válida"},
    {SIGTRAP, "trampa de depuración"},
    {SIGKILL, "terminado a la fuerza"},
    {SIGTERM, "terminado"},
    {SIGINT, "interrumpido"},
    {SIGQUIT, "abandonado"},
    {SIGHUP, "se colgó el terminal"},
    {SIGPIPE, "tubería rota"},
    {SIGALRM, "alarma de tiempo"},
    {SIGUSR1, "señal de usuario 1"},
    {SIGUSR2, "señal de usuario 2"},
    {SIGCHLD, "un proceso hijo terminó"},
    {SIGCONT, "continuado"},
    {SIGSTOP, "detenido"},
    {SIGTSTP, "detenido desde el terminal"},
    {SIGTTIN, "detenido al leer del terminal"},
    {SIGTTOU, "detenido al escribir en el terminal"},
    {SIGURG, "datos urgentes en un socket"},
    {SIGXCPU, "superó su límite de tiempo de procesador"},
    {SIGXFSZ, "superó su límite de tamaño de fichero"},
    {SIGVTALRM, "alarma de tiempo virtual"},
    {SIGPROF, "alarma de perfilado"},
    {SIGWINCH, "cambió el tamaño de la ventana"},
    {SIGIO, "entrada o salida posible"},
    {SIGPWR, "fallo de alimentación"},
    {SIGSTKFLT, "fallo de pila del coprocesador"},
};

} // namespace

std::string signalText(int signal) {
    const char* abbreviation = ::sigabbrev_np(signal);
    const std::string name = abbreviation ? "SIG" + std::string(abbreviation) : std::string();
    if (const char* text = textOf(kSignalNames, signal))
        return std::string(text) + " (" + name + ")";
    if (signal >= SIGRTMIN && signal <= SIGRTMAX)
        return "señal de tiempo real " + std::to_string(signal - SIGRTMIN) + " (SIGRTMIN+" +
               std::to_string(signal - SIGRTMIN) + ")";
    return "señal " + std::to_string(signal) + (name.empty() ? std::string() : " (" + name + ")");
}

} // namespace cto
