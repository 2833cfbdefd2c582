# Makes the files the Windows tests decode and compare with, by openssl on the build host:
# a certificate and two private keys (PKCS #8), each as PEM and as DER. The Ed25519 key's DER is 48
# bytes, so its PEM body is whole 3-byte groups with no '='.
# The certificate also comes with explanatory text around its armour, each decoding to
# cert.der: x509 -text's dump before it (cert_text.pem), the Bag Attributes and subject and
# issuer lines pkcs12 -nokeys writes before it (cert_bag.pem), a note after it
# (cert_note.pem), and each of those with CR LF line ends (*_crlf.pem). Two files hold two
# blocks and must be refused: a chain of two certificates (chain.pem) and the EC PARAMETERS
# and EC PRIVATE KEY blocks ecparam -genkey writes (ec_key.pem).
# Usage: cmake -DOPENSSL=<openssl> -DOUT=<folder> -P make_pem_files.cmake
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})

function(run_openssl)
  execute_process(COMMAND ${OPENSSL} ${ARGN} RESULT_VARIABLE result ERROR_VARIABLE errors
                  OUTPUT_QUIET)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "openssl ${ARGN} failed: ${errors}")
  endif()
endfunction()

run_openssl(req -x509 -newkey rsa:2048 -nodes -keyout ${OUT}/rsa_key.pem -out ${OUT}/cert.pem
            -days 2 -subj /CN=Quorvel-test)
run_openssl(x509 -in ${OUT}/cert.pem -outform DER -out ${OUT}/cert.der)
run_openssl(pkcs8 -topk8 -nocrypt -in ${OUT}/rsa_key.pem -outform DER -out ${OUT}/rsa_key.der)
run_openssl(genpkey -algorithm ed25519 -out ${OUT}/ed25519_key.pem)
run_openssl(pkcs8 -topk8 -nocrypt -in ${OUT}/ed25519_key.pem -outform DER -out ${OUT}/ed25519_key.der)

# The usual way from a .pfx to a .pem, with an empty password and openssl's default
# algorithms.
run_openssl(x509 -in ${OUT}/cert.pem -text -out ${OUT}/cert_text.pem)
run_openssl(pkcs12 -export -in ${OUT}/cert.pem -inkey ${OUT}/rsa_key.pem -out ${OUT}/bundle.pfx
            -passout pass:)
run_openssl(pkcs12 -in ${OUT}/bundle.pfx -nokeys -out ${OUT}/cert_bag.pem -passin pass:)
file(READ ${OUT}/cert.pem cert)
file(WRITE ${OUT}/cert_note.pem "${cert}note: made for the Quorvel tests, valid for two days\n")
foreach(name cert_text cert_bag cert_note)
  file(READ ${OUT}/${name}.pem text)
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${OUT}/${name}_crlf.pem "${text}")
endforeach()

run_openssl(req -x509 -key ${OUT}/ed25519_key.pem -out ${OUT}/issuer.pem -days 2
            -subj /CN=Quorvel-issuer)
file(READ ${OUT}/issuer.pem issuer)
file(WRITE ${OUT}/chain.pem "${cert}${issuer}")
run_openssl(ecparam -genkey -name prime256v1 -out ${OUT}/ec_key.pem)
