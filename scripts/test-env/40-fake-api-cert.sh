# Sourced by scripts/run-tests.sh: a self-signed certificate for the HTTPS runs
# of tools/fake-api. The export tests trust it explicitly; it is never added to
# the system's trust store.
#   DEZORIV_FAKE_API_CERT  certificate (PEM), valid for 127.0.0.1 and localhost
#   DEZORIV_FAKE_API_KEY   its private key (PEM)
fake_api_cert_dir="${DEZORIV_TEST_RUN_DIR:-$(mktemp -d /tmp/dezoriv-cert.XXXXXX)}/fake-api-cert"
mkdir -p "$fake_api_cert_dir"
if [ ! -s "$fake_api_cert_dir/cert.pem" ]; then
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=127.0.0.1" \
    -addext "subjectAltName=IP:127.0.0.1,DNS:localhost" \
    -keyout "$fake_api_cert_dir/key.pem" -out "$fake_api_cert_dir/cert.pem" >/dev/null 2>&1
fi
export DEZORIV_FAKE_API_CERT="$fake_api_cert_dir/cert.pem"
export DEZORIV_FAKE_API_KEY="$fake_api_cert_dir/key.pem"
