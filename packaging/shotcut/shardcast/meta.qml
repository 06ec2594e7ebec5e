// Shardcast in Shotcut's filter list: the frei0r filter frei0r.shardcast,
// with its panel in ui.qml.
import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: "Shardcast"
    keywords: 'glitch jpeg damage broken compression datamosh shardcast'
    objectName: 'shardcast'
    mlt_service: 'frei0r.shardcast'
    qml: 'ui.qml'
}
