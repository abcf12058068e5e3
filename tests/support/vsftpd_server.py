#!/usr/bin/python3
"""vsftpd for Kalvor's integration tests and benchmarks.

    vsftpd_server.py [implicit|explicit|plain] [--self-signed]

implicit (the default): TLS from the first byte (ftps://); explicit: a plain port where TLS is required
before the login (AUTH TLS); plain: no TLS at all.

The server's certificate names 127.0.0.1 and is issued by a test authority made once for this machine
(kept root-only beside the account's password); a client that trusts that authority (curl does with
CURL_CA_BUNDLE=<its file>) verifies the server as it would a real one. With --self-signed the certificate
is its own issuer, as on many small servers, and no authority vouches for it.

Must run as root: it makes sure a throw-away local account exists, gives it a fresh, empty folder as
its (chrooted) root, writes a one-off configuration and self-signed certificate, and runs vsftpd in
the foreground on 127.0.0.1 at a free port. When the server accepts connections it prints

    ROOT <folder>
    USER <name>
    PASSWORD <password>
    LOG <file>       (vsftpd's protocol log: one "FTP command:" line per command received)
    AUTHORITY <file> (the test authority's certificate; not with --self-signed)
    PORT <n>         (always last: everything above is valid once this line is out)

SIGUSR1 gives the server a new key and certificate (vsftpd reads them only when it starts, so it
restarts on the same port) and prints "REPLACED" once it accepts connections again.

SIGTERM stops vsftpd and removes every temporary file. Without root it prints "SKIP <reason>" and
exits with status 0, so a test can skip instead of failing.
"""

import ctypes
import fcntl
import os
import pwd
import secrets
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

ACCOUNT = "kalvor-ftptest"
STATE_DIR = "/var/lib/kalvor-ftptest"
PASSWORD_FILE = os.path.join(STATE_DIR, "password")
AUTHORITY_CERT = os.path.join(STATE_DIR, "authority.pem")
AUTHORITY_KEY = os.path.join(STATE_DIR, "authority-key.pem")
LOCK_FILE = os.path.join(STATE_DIR, "account.lock")
VSFTPD = "/usr/sbin/vsftpd"
OPENSSL = "/usr/bin/openssl"
START_ATTEMPTS = 5
START_DEADLINE_SECONDS = 20


def say(line):
    print(line, flush=True)


def set_parent_death_signal(sig):
    try:
        libc = ctypes.CDLL("libc.so.6", use_errno=True)
        libc.prctl(1, sig)  # PR_SET_PDEATHSIG
    except OSError:
        pass


def ensure_account():
    """Create the account once; several test processes may get here at the same time.

    The password is random, made once and kept root-only, so parallel servers agree on it and the
    account has no guessable login.
    """
    os.makedirs(STATE_DIR, mode=0o700, exist_ok=True)
    with open(LOCK_FILE, "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        try:
            with open(PASSWORD_FILE) as source:
                password = source.read().strip()
        except FileNotFoundError:
            password = ""
        if not password:
            password = secrets.token_urlsafe(18)
            descriptor = os.open(PASSWORD_FILE, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
            with os.fdopen(descriptor, "w") as sink:
                sink.write(password + "\n")
        try:
            pwd.getpwnam(ACCOUNT)
        except KeyError:
            subprocess.run(["useradd", "--system", "--no-create-home", "--home-dir", "/",
                            "--shell", "/bin/sh", ACCOUNT], check=True)
        # vsftpd's PAM stack wants a login shell listed in /etc/shells, and vsftpd changes into the
        # home folder before local_root, so it must exist; keep both true even for an older account.
        entry = pwd.getpwnam(ACCOUNT)
        if entry.pw_shell != "/bin/sh" or not os.path.isdir(entry.pw_dir):
            subprocess.run(["usermod", "--shell", "/bin/sh", "--home", "/", ACCOUNT], check=True)
        # A cheap hash: the password is long and random, and every test login pays for the hashing.
        subprocess.run(["chpasswd", "--crypt-method", "SHA512", "--sha-rounds", "1000"],
                       input="%s:%s\n" % (ACCOUNT, password), text=True, check=True)
    return password, pwd.getpwnam(ACCOUNT)


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def is_listening(port):
    """True once a socket listens on 127.0.0.1:port; reading /proc opens no connection, so vsftpd
    never sees a half-open TLS session from us."""
    wanted = "0100007F:%04X" % port
    try:
        with open("/proc/net/tcp") as table:
            next(table)
            for row in table:
                fields = row.split()
                if fields[1] == wanted and fields[3] == "0A":
                    return True
    except OSError:
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
            return probe.connect_ex(("127.0.0.1", port)) == 0
    return False


def write_config(path, port, root, work, log, mode):
    settings = {
        "listen": "YES",
        "listen_ipv6": "NO",
        "listen_address": "127.0.0.1",
        "listen_port": str(port),
        "background": "NO",
        "anonymous_enable": "NO",
        "local_enable": "YES",
        "write_enable": "YES",
        "local_umask": "022",
        "local_root": root,
        # Without the chroot an absolute path such as "DELE /etc/x" would reach the real file system.
        "chroot_local_user": "YES",
        "allow_writeable_chroot": "YES",
        "pasv_enable": "YES",
        "pasv_address": "127.0.0.1",
        "ssl_enable": "NO" if mode == "plain" else "YES",
        "implicit_ssl": "YES" if mode == "implicit" else "NO",
        "allow_anon_ssl": "NO",
        "force_local_logins_ssl": "YES",
        "force_local_data_ssl": "YES",
        "require_ssl_reuse": "NO",
        # vsftpd's built-in default (DES-CBC3-SHA) is disabled in current OpenSSL.
        "ssl_ciphers": "HIGH",
        "rsa_cert_file": os.path.join(work, "cert.pem"),
        "rsa_private_key_file": os.path.join(work, "key.pem"),
        "seccomp_sandbox": "NO",
        "secure_chroot_dir": os.path.join(work, "empty"),
        "pam_service_name": "vsftpd",
        "utf8_filesystem": "YES",
        "xferlog_enable": "YES",
        "xferlog_std_format": "NO",
        "vsftpd_log_file": log,
        "log_ftp_protocol": "YES",
        "syslog_enable": "NO",
        "dual_log_enable": "NO",
        "userlist_enable": "NO",
        "tcp_wrappers": "NO",
        # Tests try wrong passwords on purpose; PAM already makes them wait.
        "delay_failed_login": "0",
    }
    with open(path, "w") as sink:
        for key, value in settings.items():
            sink.write("%s=%s\n" % (key, value))
    os.chmod(path, 0o600)


def ensure_authority():
    """The test authority, made once (and again when it is about to expire); several servers may start
    at the same time."""
    os.makedirs(STATE_DIR, mode=0o700, exist_ok=True)
    with open(LOCK_FILE, "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        valid = os.path.exists(AUTHORITY_KEY) and subprocess.run(
            [OPENSSL, "x509", "-checkend", "86400", "-noout", "-in", AUTHORITY_CERT],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
        if not valid:
            subprocess.run([OPENSSL, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "3650",
                            "-subj", "/CN=Kalvor test authority", "-keyout", AUTHORITY_KEY,
                            "-out", AUTHORITY_CERT],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return AUTHORITY_CERT


def make_certificate(work, authority):
    """A new key and certificate for 127.0.0.1, issued by the authority or, without one, by itself."""
    command = [OPENSSL, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
               "-subj", "/CN=127.0.0.1", "-keyout", os.path.join(work, "key.pem"),
               "-out", os.path.join(work, "cert.pem")]
    if authority:
        command += ["-addext", "subjectAltName=IP:127.0.0.1", "-CA", AUTHORITY_CERT, "-CAkey", AUTHORITY_KEY]
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def start_vsftpd(config, port):
    """Start vsftpd and wait until it listens; None when it exited first (port taken, bad setup)."""
    process = subprocess.Popen([VSFTPD, config], stdin=subprocess.DEVNULL, start_new_session=True,
                               preexec_fn=lambda: set_parent_death_signal(signal.SIGTERM))
    deadline = time.monotonic() + START_DEADLINE_SECONDS
    while time.monotonic() < deadline:
        if process.poll() is not None:
            return None
        if is_listening(port):
            return process
        time.sleep(0.02)
    stop_vsftpd(process)
    return None


def stop_vsftpd(process):
    # Sessions are children in the same process group; take them down with the listener.
    try:
        os.killpg(process.pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()


class ReplaceCertificate(Exception):
    pass


def main():
    set_parent_death_signal(signal.SIGTERM)
    arguments = sys.argv[1:]
    self_signed = "--self-signed" in arguments
    if self_signed:
        arguments.remove("--self-signed")
    mode = arguments[0] if arguments else "implicit"
    if mode not in ("implicit", "explicit", "plain"):
        say("ERROR unknown mode %s" % mode)
        return 2
    if os.geteuid() != 0:
        say("SKIP vsftpd needs root to add its test account and to chroot")
        return 0
    for tool in (VSFTPD, OPENSSL):
        if not os.access(tool, os.X_OK):
            say("SKIP %s is not installed" % tool)
            return 0

    password, account = ensure_account()
    work = tempfile.mkdtemp(prefix="kalvor-vsftpd-")
    process = None

    def stop(_signum, _frame):
        raise SystemExit(0)

    def replace(_signum, _frame):
        raise ReplaceCertificate()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    signal.signal(signal.SIGUSR1, replace)
    try:
        os.chmod(work, 0o755)
        os.mkdir(os.path.join(work, "empty"), 0o755)
        root = os.path.join(work, "root")
        os.mkdir(root, 0o755)
        os.chown(root, account.pw_uid, account.pw_gid)
        log = os.path.join(work, "vsftpd.log")
        open(log, "a").close()
        authority = None if self_signed or mode == "plain" else ensure_authority()
        make_certificate(work, authority)

        for _attempt in range(START_ATTEMPTS):
            port = free_port()
            config = os.path.join(work, "vsftpd.conf")
            write_config(config, port, root, work, log, mode)
            process = start_vsftpd(config, port)
            if process is not None:
                break
        if process is None:
            say("ERROR vsftpd did not start")
            return 1

        say("ROOT %s" % root)
        say("USER %s" % ACCOUNT)
        say("PASSWORD %s" % password)
        say("LOG %s" % log)
        if authority:
            say("AUTHORITY %s" % authority)
        say("PORT %d" % port)
        while True:
            try:
                process.wait()
                say("ERROR vsftpd exited with status %d" % process.returncode)
                return 1
            except ReplaceCertificate:
                stop_vsftpd(process)
                process = None
                make_certificate(work, authority)
                process = start_vsftpd(config, port)
                if process is None:
                    say("ERROR vsftpd did not start again")
                    return 1
                say("REPLACED")
    except SystemExit:
        return 0
    finally:
        if process is not None:
            stop_vsftpd(process)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
