#!/usr/bin/python3
"""vsftpd for Kalvor's integration tests and benchmarks.

    vsftpd_server.py [implicit|explicit|plain]

implicit (the default): TLS from the first byte (ftps://); explicit: a plain port where TLS is required
before the login (AUTH TLS); plain: no TLS at all.

Must run as root: it makes sure a throw-away local account exists, gives it a fresh, empty folder as
its (chrooted) root, writes a one-off configuration and self-signed certificate, and runs vsftpd in
the foreground on 127.0.0.1 at a free port. When the server accepts connections it prints

    ROOT <folder>
    USER <name>
    PASSWORD <password>
    LOG <file>       (vsftpd's protocol log: one "FTP command:" line per command received)
    PORT <n>         (always last: everything above is valid once this line is out)

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


def make_certificate(work):
    subprocess.run([OPENSSL, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=127.0.0.1", "-keyout", os.path.join(work, "key.pem"),
                    "-out", os.path.join(work, "cert.pem")],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


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


def main():
    set_parent_death_signal(signal.SIGTERM)
    mode = sys.argv[1] if len(sys.argv) > 1 else "implicit"
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

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    try:
        os.chmod(work, 0o755)
        os.mkdir(os.path.join(work, "empty"), 0o755)
        root = os.path.join(work, "root")
        os.mkdir(root, 0o755)
        os.chown(root, account.pw_uid, account.pw_gid)
        log = os.path.join(work, "vsftpd.log")
        open(log, "a").close()
        make_certificate(work)

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
        say("PORT %d" % port)
        process.wait()
        say("ERROR vsftpd exited with status %d" % process.returncode)
        return 1
    except SystemExit:
        return 0
    finally:
        if process is not None:
            stop_vsftpd(process)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
