// Shardcast over the frei0r filter frei0r.shardcast, with its panel in
// ui.qml: kept for projects made with it, and hidden from the filter list,
// which offers the MLT filter instead (../shardcast_mlt).
import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: "Shardcast"
    keywords: 'glitch jpeg damage broken compression datamosh shardcast'
    objectName: 'shardcast'
    mlt_service: 'frei0r.shardcast'
    qml: 'ui.qml'
    isHidden: true
}
