#pragma once

#include <QString>

#include <functional>

// The file system a path lies on, as far as the application cares: whether it is reached over the network.
namespace tollbook::FileSystems {

// The type of the file system the path lies on when it is a network one ("nfs", "cifs", "smb2", "9p",
// "fuse.sshfs", ...); empty when it is local or cannot be told.
QString networkFileSystem(const QString& path);

// What networkFileSystem() asks: the type of the file system of a path ("nfs", "fuse.sshfs", "ext4" ...), empty
// when unknown. The tests replace it, since they cannot mount a network file system; an empty probe restores the
// system's (statfs, and the mount table for the kind of a FUSE file system).
using TypeProbe = std::function<QString(const QString& path)>;
void setTypeProbe(TypeProbe probe);

// The system's probe.
QString systemFileSystemType(const QString& path);

} // namespace tollbook::FileSystems
