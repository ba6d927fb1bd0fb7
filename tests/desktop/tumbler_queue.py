# tumbler_queue.py URI MIME FLAVOR: asks the thumbnail service over D-Bus for
# a thumbnail and waits for it in $XDG_CACHE_HOME (the service drops the
# requests of a client that leaves, so this one stays until it is there).
import hashlib, os, sys, time
import dbus

uri, mime, flavor = sys.argv[1:4]
bus = dbus.SessionBus()
service = dbus.Interface(
    bus.get_object('org.freedesktop.thumbnails.Thumbnailer1', '/org/freedesktop/thumbnails/Thumbnailer1'),
    'org.freedesktop.thumbnails.Thumbnailer1')
service.Queue([uri], [mime], flavor, 'default', dbus.UInt32(0))
out = os.path.join(os.environ['XDG_CACHE_HOME'], 'thumbnails', flavor,
                   hashlib.md5(uri.encode()).hexdigest() + '.png')
for _ in range(300):
    if os.path.exists(out) and os.path.getsize(out) > 0:
        print(out)
        sys.exit(0)
    time.sleep(0.1)
sys.exit('no thumbnail at ' + out)
