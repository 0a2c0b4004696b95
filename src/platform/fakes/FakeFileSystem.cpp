#include "platform/fakes/FakeFileSystem.h"

#include "platform/RealFileSystem.h"

namespace {

QString parentOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QString nameOf(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

/// The in-memory persistent file: writes straight into the file system it came from.
class FakePersistentFile final : public PersistentFile {
public:
    FakePersistentFile(FakeFileSystem* fs, QString path) : fs_(fs), path_(std::move(path)) {}
    bool rewrite(const QByteArray& content) override {
        if (fs_->writeFails(path_, content.size()))
            return false;
        if (!fs_->state_->files.contains(path_))
            fs_->addEntry(path_);
        fs_->state_->files[path_] = content;
        ++fs_->state_->persistentWrites;
        fs_->changed();
        return true;
    }
    bool sync() override { return true; }

private:
    FakeFileSystem* fs_;
    QString path_;
};

FakeFileSystem::FakeFileSystem() : state_(std::make_shared<State>()) {}

FakeFileSystem::FakeFileSystem(const FakeFileSystem& other)
    : FileSystem(), unreadable(other.unreadable), state_(std::make_shared<State>(*other.state_)) {}

bool FakeFileSystem::writeFails(const QString& path, qsizetype newSize) const {
    if (failWrite && failWrite(path))
        return true;
    return diskFull && newSize > state_->files.value(path).size();
}

void FakeFileSystem::addEntry(const QString& path) {
    QStringList& names = state_->entries[parentOf(path)];
    if (!names.contains(nameOf(path)))
        names.append(nameOf(path));
}

void FakeFileSystem::removeEntry(const QString& path) {
    state_->entries[parentOf(path)].removeAll(nameOf(path));
}

bool FakeFileSystem::folderExists(const QString& path) const {
    return state_->folders.contains(path);
}

bool FakeFileSystem::createFolder(const QString& path) {
    if (failWrite && failWrite(path))
        return false;
    if (!state_->folders.contains(path)) {
        state_->folders.insert(path);
        addEntry(path);
    }
    return true;
}

bool FakeFileSystem::fileExists(const QString& path) const {
    return state_->files.contains(path) || unreadable.contains(path);
}

bool FakeFileSystem::deleteFile(const QString& path) {
    if (state_->files.remove(path) > 0) {
        removeEntry(path);
        changed();
    }
    return true;
}

QStringList FakeFileSystem::listFolder(const QString& path) const {
    return state_->entries.value(path);
}

QList<QByteArray> FakeFileSystem::readLines(const QString& path, bool* ok) const {
    const bool readable = state_->files.contains(path) && !unreadable.contains(path);
    if (ok)
        *ok = readable;
    return readable ? RealFileSystem::splitLines(state_->files.value(path)) : QList<QByteArray>();
}

bool FakeFileSystem::writeFileAtomic(const QString& path, const QByteArray& content) {
    if (writeFails(path, content.size()))
        return false;
    if (!state_->files.contains(path))
        addEntry(path);
    state_->files[path] = content;
    unreadable.remove(path);
    ++state_->atomicWrites[path];
    changed();
    return true;
}

bool FakeFileSystem::replaceFile(const QString& from, const QString& to) {
    if (!state_->files.contains(from) || (failWrite && failWrite(to)))
        return false;
    if (!state_->files.contains(to))
        addEntry(to);
    state_->files[to] = state_->files.take(from);
    removeEntry(from);
    unreadable.remove(to);
    changed();
    return true;
}

std::unique_ptr<PersistentFile> FakeFileSystem::openPersistent(const QString& path) {
    if (unreadable.contains(path) || (failWrite && failWrite(path)))
        return nullptr;
    if (!state_->files.contains(path)) {
        state_->files.insert(path, QByteArray());
        addEntry(path);
    }
    return std::make_unique<FakePersistentFile>(this, path);
}

void FakeFileSystem::setFile(const QString& path, const QByteArray& content) {
    if (!state_->files.contains(path))
        addEntry(path);
    state_->files[path] = content;
}
