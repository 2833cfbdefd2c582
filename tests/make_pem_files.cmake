# Makes the files the Windows tests decode and compare with, by openssl on the build host:
# a certificate and two private keys (PKCS #8), each as PEM and as DER. The Ed25519 key's DER is 48
# bytes, so its PEM body is whole 3-byte groups with no '='.
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
