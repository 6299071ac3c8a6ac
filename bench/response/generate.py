#!/usr/bin/env python3
"""Writes a SOAP 1.1 answer holding a RespuestaSolicitudEncuesta with N errors."""
import sys

def main(path, errors):
    with open(path, "w", encoding="utf-8") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n'
                  '<soapenv:Envelope xmlns:soapenv="http://schemas.xmlsoap.org/soap/envelope/"'
                  ' xmlns:xsd="http://www.w3.org/2001/XMLSchema"'
                  ' xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">\n'
                  ' <soapenv:Body>\n'
                  '  <ns1:enviarEncuestaResponse xmlns:ns1="http://servicio.tulva.oskel.example">\n'
                  '   <RespuestaSolicitudEncuesta xsi:type="ns1:Respuesta">\n'
                  '    <NumeroOrden>2026-000417</NumeroOrden>\n'
                  '    <CodigoControl>K7P-19Q</CodigoControl>\n')
        if errors:
            out.write('    <Errores>\n     <Numero>%d</Numero>\n' % errors)
            for i in range(errors):
                out.write('     <Error>\n'
                          '      <TipoError>FORMATO_NO_VALIDO</TipoError>\n'
                          '      <LineaError>%d</LineaError>\n'
                          '      <DescripcionError>El valor del campo %d no es valido: '
                          'el numero de pernoctaciones &lt; el numero de viajeros</DescripcionError>\n'
                          '     </Error>\n' % (i + 1, i % 97))
            out.write('    </Errores>\n')
        else:
            out.write('    <AcuseEnvio>Encuesta recibida y registrada</AcuseEnvio>\n')
        out.write('   </RespuestaSolicitudEncuesta>\n'
                  '  </ns1:enviarEncuestaResponse>\n'
                  ' </soapenv:Body>\n'
                  '</soapenv:Envelope>\n')

if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]))
